#include "TestArchiveBuilder.h"
#include <stdexcept>

uint16_t ReferenceCrc16(const Bytes& data) {
    unsigned crc = 0;
    for (unsigned char b : data) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return static_cast<uint16_t>(crc);
}

uint32_t ReferenceCrc32(const unsigned char* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t k = 0; k < size; ++k) {
        crc ^= data[k];
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

namespace {

void Put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void Put32(Bytes& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutExtension(Bytes& out, int type, const Bytes& content) {
    Put16(out, static_cast<unsigned>(content.size() + 3));
    out.push_back(static_cast<unsigned char>(type));
    out.insert(out.end(), content.begin(), content.end());
}

} // namespace

Bytes BuildMember(const MemberLayout& layout) {
    Bytes header;
    header.push_back(0); // length, patched below
    header.push_back(0); // checksum or length high byte
    header.insert(header.end(), layout.method.begin(), layout.method.end());
    uint32_t packed = static_cast<uint32_t>(layout.data.size());
    Bytes extensions;
    if (layout.level >= 1) {
        if (layout.level == 2 && layout.nameExtension)
            PutExtension(extensions, 0x01, ToBytes(layout.fileName));
        if (layout.directoryExtension || !layout.directory.empty())
            PutExtension(extensions, 0x02, ToBytes(layout.directory));
        for (const auto& extension : layout.extensions)
            PutExtension(extensions, extension.first, extension.second);
        Put16(extensions, 0);
    }
    if (layout.level == 1)
        packed += static_cast<uint32_t>(extensions.size() - 2);
    Put32(header, packed);
    Put32(header, layout.originalSize);
    Put32(header, layout.rawTime);
    header.push_back(0x20); // attribute
    header.push_back(static_cast<unsigned char>(layout.level));
    if (layout.level == 2) {
        Put16(header, layout.crc);
        header.push_back('U');
        header.insert(header.end(), extensions.begin(), extensions.end());
        header.insert(header.end(), static_cast<size_t>(layout.padding), 0);
        size_t length = header.size() + static_cast<size_t>(layout.declaredLengthDelta);
        header[0] = static_cast<unsigned char>(length);
        header[1] = static_cast<unsigned char>(length >> 8);
    } else {
        header.push_back(static_cast<unsigned char>(layout.fileName.size()));
        header.insert(header.end(), layout.fileName.begin(), layout.fileName.end());
        Put16(header, layout.crc);
        if (layout.level == 1) {
            header.push_back('M');
            header[0] = static_cast<unsigned char>(header.size()); // up to the first size field
            // The first extension size is the chain's first word.
            header.insert(header.end(), extensions.begin(), extensions.end());
        } else {
            header[0] = static_cast<unsigned char>(header.size() - 2);
        }
    }
    header.insert(header.end(), layout.data.begin(), layout.data.end());
    return header;
}

MemberLayout StoredMember(const std::string& name, const Bytes& content, int level) {
    MemberLayout layout;
    layout.level = level;
    layout.fileName = name;
    layout.data = content;
    layout.originalSize = static_cast<uint32_t>(content.size());
    layout.crc = ReferenceCrc16(content);
    layout.rawTime = level == 2 ? 1000000000u : 0x3C210000u; // 2010-01-01 00:00
    return layout;
}

void BitWriter::Put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        if (bitCount_ % 8 == 0)
            bytes_.push_back(0);
        if ((value >> i) & 1)
            bytes_.back() |= static_cast<unsigned char>(0x80 >> (bitCount_ % 8));
        ++bitCount_;
    }
}

Bytes BitWriter::Finish() const { return bytes_; }

std::vector<int> FlatLengths(const std::vector<bool>& used) {
    int k = 0;
    for (bool u : used)
        k += u;
    std::vector<int> lengths(used.size(), 0);
    if (k < 2)
        return lengths;
    int bits = 0;
    while ((1 << bits) < k)
        ++bits;
    int shorter = (1 << bits) - k; // these get bits - 1
    for (size_t s = 0; s < used.size(); ++s)
        if (used[s])
            lengths[s] = shorter-- > 0 ? bits - 1 : bits;
    return lengths;
}

namespace {

struct Code {
    std::vector<int> lengths;
    std::vector<uint32_t> codes;
    int single = -1; // the one symbol of a single-symbol code
};

Code MakeCode(const std::vector<int>& lengths, const std::vector<bool>& used) {
    Code code;
    code.lengths = lengths;
    code.codes.assign(lengths.size(), 0);
    int nonzero = 0;
    for (size_t s = 0; s < lengths.size(); ++s)
        nonzero += lengths[s] > 0;
    if (nonzero == 0) {
        for (size_t s = 0; s < used.size(); ++s)
            if (used[s])
                code.single = static_cast<int>(s);
        if (code.single < 0)
            code.single = 0;
        return code;
    }
    uint32_t next = 0;
    for (int l = 1; l <= 16; ++l)
        for (size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s] == l) {
                code.codes[s] = next >> (16 - l);
                next += 1u << (16 - l);
            }
    if (next != 65536)
        throw std::logic_error("incomplete test code");
    return code;
}

void PutSymbol(BitWriter& w, const Code& code, int symbol) {
    if (code.single >= 0) {
        if (symbol != code.single)
            throw std::logic_error("symbol outside a single-symbol code");
        return;
    }
    if (code.lengths[static_cast<size_t>(symbol)] == 0)
        throw std::logic_error("symbol without code");
    w.Put(code.codes[static_cast<size_t>(symbol)], code.lengths[static_cast<size_t>(symbol)]);
}

// Lengths of the code-length code and of the distance code: 3 bits, or 7 and
// more in unary continuation.
void PutAuxLength(BitWriter& w, int length) {
    if (length < 7) {
        w.Put(static_cast<uint32_t>(length), 3);
        return;
    }
    w.Put(7, 3);
    for (int i = 7; i < length; ++i)
        w.Put(1, 1);
    w.Put(0, 1);
}

int LastNonzero(const std::vector<int>& lengths) {
    int last = -1;
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] > 0)
            last = static_cast<int>(s);
    return last;
}

int DistanceSymbol(int distance) {
    int d = distance - 1;
    int j = 0;
    while ((d >> j) != 0)
        ++j;
    return j; // 0 for d == 0, else bit length of d
}

} // namespace

void WriteBlock(BitWriter& w, const std::vector<Token>& tokens, const BlockOptions& options) {
    std::vector<bool> symbolUsed(510, false), distanceUsed(14, false);
    for (const Token& t : tokens) {
        if (t.literal >= 0) {
            symbolUsed[static_cast<size_t>(t.literal)] = true;
        } else {
            symbolUsed[static_cast<size_t>(t.length + 253)] = true;
            distanceUsed[static_cast<size_t>(DistanceSymbol(t.distance))] = true;
        }
    }
    Code symbols = MakeCode(options.symbolLengths.empty() ? FlatLengths(symbolUsed)
                                                          : options.symbolLengths,
                            symbolUsed);
    Code distances = MakeCode(options.distanceLengths.empty() ? FlatLengths(distanceUsed)
                                                              : options.distanceLengths,
                              distanceUsed);

    // The symbol lengths, as code-length symbols: 0 one zero, 1 a run of 3-18,
    // 2 a run of 20-531, 3.. a length of n - 2.
    std::vector<std::pair<int, int>> lengthSymbols; // symbol, run extra
    if (symbols.single < 0) {
        int count = LastNonzero(symbols.lengths) + 1;
        for (int s = 0; s < count;) {
            int run = 0;
            while (s + run < count && symbols.lengths[static_cast<size_t>(s + run)] == 0)
                ++run;
            if (run >= 20) {
                int take = run > 531 ? 531 : run;
                lengthSymbols.push_back({2, take - 20});
                s += take;
            } else if (run >= 3) {
                int take = run > 18 ? 18 : run;
                lengthSymbols.push_back({1, take - 3});
                s += take;
            } else if (run > 0) {
                lengthSymbols.push_back({0, 0});
                s += 1;
            } else {
                lengthSymbols.push_back({symbols.lengths[static_cast<size_t>(s)] + 2, 0});
                s += 1;
            }
        }
    }
    std::vector<bool> codeLengthUsed(19, false);
    for (const auto& ls : lengthSymbols)
        codeLengthUsed[static_cast<size_t>(ls.first)] = true;
    Code codeLengths = MakeCode(FlatLengths(codeLengthUsed), codeLengthUsed);

    w.Put(static_cast<uint32_t>(options.blockSize >= 0 ? options.blockSize
                                                       : static_cast<int>(tokens.size())),
          16);
    if (codeLengths.single >= 0) {
        w.Put(0, 5);
        w.Put(static_cast<uint32_t>(codeLengths.single), 5);
    } else {
        int count = LastNonzero(codeLengths.lengths) + 1;
        if (count < 3)
            count = 3;
        w.Put(static_cast<uint32_t>(count), 5);
        for (int i = 0; i < count; ++i) {
            PutAuxLength(w, codeLengths.lengths[static_cast<size_t>(i)]);
            if (i == 2)
                w.Put(0, 2); // no zero run after the third length
        }
    }
    if (symbols.single >= 0) {
        w.Put(0, 9);
        w.Put(static_cast<uint32_t>(symbols.single), 9);
    } else {
        w.Put(static_cast<uint32_t>(LastNonzero(symbols.lengths) + 1), 9);
        for (const auto& ls : lengthSymbols) {
            PutSymbol(w, codeLengths, ls.first);
            if (ls.first == 1)
                w.Put(static_cast<uint32_t>(ls.second), 4);
            else if (ls.first == 2)
                w.Put(static_cast<uint32_t>(ls.second), 9);
        }
    }
    if (distances.single >= 0) {
        w.Put(0, 4);
        w.Put(static_cast<uint32_t>(distances.single), 4);
    } else {
        int count = LastNonzero(distances.lengths) + 1;
        w.Put(static_cast<uint32_t>(count), 4);
        for (int i = 0; i < count; ++i)
            PutAuxLength(w, distances.lengths[static_cast<size_t>(i)]);
    }
    for (const Token& t : tokens) {
        if (t.literal >= 0) {
            PutSymbol(w, symbols, t.literal);
            continue;
        }
        PutSymbol(w, symbols, t.length + 253);
        int j = DistanceSymbol(t.distance);
        PutSymbol(w, distances, j);
        if (j > 1)
            w.Put(static_cast<uint32_t>((t.distance - 1) - (1 << (j - 1))), j - 1);
    }
}

Bytes ExpandTokens(const std::vector<Token>& tokens) {
    Bytes out;
    for (const Token& t : tokens) {
        if (t.literal >= 0) {
            out.push_back(static_cast<unsigned char>(t.literal));
            continue;
        }
        for (int k = 0; k < t.length; ++k) {
            long from = static_cast<long>(out.size()) - t.distance;
            out.push_back(from < 0 ? ' ' : out[static_cast<size_t>(from)]);
        }
    }
    return out;
}

Bytes EncodeTokens(const std::vector<Token>& tokens, const BlockOptions& options) {
    BitWriter w;
    WriteBlock(w, tokens, options);
    return w.Finish();
}

MemberLayout Lh5Member(const std::string& name, const std::vector<Token>& tokens, int level) {
    Bytes content = ExpandTokens(tokens);
    MemberLayout layout = StoredMember(name, content, level);
    layout.method = "-lh5-";
    layout.data = EncodeTokens(tokens);
    return layout;
}
