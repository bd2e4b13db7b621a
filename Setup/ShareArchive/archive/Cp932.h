// Stepping over whole characters of code page 932 text: a lead byte and its
// trail byte are one character, so a trail byte 0x5C is never a "\".
#pragma once

inline bool Cp932IsLeadByte(char c) {
    unsigned char b = static_cast<unsigned char>(c);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The character after the one at p (p must not be at the terminator). A lead
// byte right before the terminator is a character of its own.
inline char* Cp932Next(char* p) { return p + (Cp932IsLeadByte(p[0]) && p[1] ? 2 : 1); }
inline const char* Cp932Next(const char* p) {
    return p + (Cp932IsLeadByte(p[0]) && p[1] ? 2 : 1);
}
