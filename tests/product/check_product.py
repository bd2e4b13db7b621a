#!/usr/bin/env python3
"""Static checks of the 32-bit product: what Windows 95 and NT 4 loaders and a
user's machine need, read straight from the PE file.

usage: check_product.py SETUP.EXE STUB_SETUP.EXE IMPORTS.TSV

IMPORTS.TSV lists, per DLL, the functions that Windows 95 (retail), NT 3.51 and NT 4.0
all export: the only functions the program may import.
"""
import struct
import sys
import xml.dom.minidom

# Runtime DLLs that a user's machine may not have (msvcrt.dll is not part of Windows 95
# nor of NT 3.51): named here so that a failure says what went wrong.
RUNTIME_DLL_PREFIXES = ('MSVCRT', 'LIBGCC_S_', 'LIBSTDC++', 'LIBWINPTHREAD')

RT_ICON, RT_DIALOG, RT_STRING, RT_RCDATA, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 6, 10, 14, 16, 24


class PE:
    def __init__(self, path):
        self.data = open(path, 'rb').read()
        d = self.data
        self.pe = struct.unpack_from('<I', d, 0x3C)[0]
        assert d[self.pe:self.pe + 4] == b'PE\0\0', 'no PE signature'
        self.machine, self.nsections = struct.unpack_from('<HH', d, self.pe + 4)
        self.opt_size = struct.unpack_from('<H', d, self.pe + 20)[0]
        self.characteristics = struct.unpack_from('<H', d, self.pe + 22)[0]
        self.opt = self.pe + 24
        self.magic = struct.unpack_from('<H', d, self.opt)[0]
        self.subsystem_version = struct.unpack_from('<HH', d, self.opt + 48)
        self.os_version = struct.unpack_from('<HH', d, self.opt + 40)
        self.subsystem = struct.unpack_from('<H', d, self.opt + 68)[0]
        dirs = self.opt + (96 if self.magic == 0x10B else 112)
        self.dirs = [struct.unpack_from('<II', d, dirs + 8 * i) for i in range(16)]
        sec = self.opt + self.opt_size
        self.sections = []
        for i in range(self.nsections):
            name, vsize, va, rsize, raw = struct.unpack_from('<8sIIII', d, sec + 40 * i)
            self.sections.append((name.rstrip(b'\0').decode(), va, max(vsize, rsize), raw))

    def off(self, rva):
        for _, va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError('rva %x outside sections' % rva)

    def cstr(self, rva):
        o = self.off(rva)
        return self.data[o:self.data.index(b'\0', o)].decode('latin-1')

    def imports(self):
        """[(dll, [function names; '#n' for an import by ordinal])] in table order."""
        rva, _ = self.dirs[1]
        found, o = [], self.off(rva)
        while True:
            ilt, _, _, name, iat = struct.unpack_from('<IIIII', self.data, o)
            if name == 0:
                return found
            functions, t = [], self.off(ilt or iat)
            while True:
                entry = struct.unpack_from('<I', self.data, t)[0]
                if entry == 0:
                    break
                functions.append('#%d' % (entry & 0xFFFF) if entry & 0x80000000 else self.cstr(entry + 2))
                t += 4
            found.append((self.cstr(name), functions))
            o += 20

    def resources(self):
        """{type: {name: [(lang, bytes)]}}; names are ints or upper-case strings."""
        base_rva, _ = self.dirs[2]
        base = self.off(base_rva)
        d = self.data

        def entries(o):
            named, ids = struct.unpack_from('<HH', d, o + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from('<II', d, o + 16 + 8 * i)
                if name & 0x80000000:
                    so = base + (name & 0x7FFFFFFF)
                    n = struct.unpack_from('<H', d, so)[0]
                    key = d[so + 2:so + 2 + 2 * n].decode('utf-16-le')
                else:
                    key = name
                yield key, target

        out = {}
        for rtype, t in entries(base):
            for rname, n in entries(base + (t & 0x7FFFFFFF)):
                for lang, leaf in entries(base + (n & 0x7FFFFFFF)):
                    drva, size = struct.unpack_from('<II', d, base + leaf)
                    o = self.off(drva)
                    out.setdefault(rtype, {}).setdefault(rname, []).append((lang, d[o:o + size]))
        return out


def strings_of(res):
    table = {}
    for block, items in res.get(RT_STRING, {}).items():
        for _, data in items:
            o = 0
            for i in range(16):
                n = struct.unpack_from('<H', data, o)[0]
                o += 2
                if n:
                    table[(block - 1) * 16 + i] = data[o:o + 2 * n].decode('utf-16-le')
                o += 2 * n
    return table


def dialog_controls(data):
    """The controls of a DIALOG (not DIALOGEX) template: {id: (style, (x, y, cx, cy), title)}."""
    def sz_or_ord(o):
        if struct.unpack_from('<H', data, o)[0] == 0xFFFF:
            return struct.unpack_from('<H', data, o + 2)[0], o + 4
        end = o
        while struct.unpack_from('<H', data, end)[0]:
            end += 2
        return data[o:end].decode('utf-16-le'), end + 2

    style, _, count = struct.unpack_from('<IIH', data, 0)
    o = 18  # past x, y, cx, cy
    for _ in range(3):  # menu, class, title
        _, o = sz_or_ord(o)
    if style & 0x40:  # DS_SETFONT: point size and face name
        _, o = sz_or_ord(o + 2)
    controls = {}
    for _ in range(count):
        o = (o + 3) & ~3
        item_style, _, x, y, cx, cy, item_id = struct.unpack_from('<IIhhhhH', data, o)
        _, o = sz_or_ord(o + 18)  # class
        title, o = sz_or_ord(o)
        o += 2 + struct.unpack_from('<H', data, o)[0]  # creation data
        controls[item_id] = (item_style, (x, y, cx, cy), title)
    return controls


EXPECTED_STRINGS = {
    1: "インストール先のフォルダ(ディレクトリ)を指定して\n<次へ>ボタンをクリックしてください。",
    2: "プログラムグループ名を指定して<次へ>ボタンをクリックしてください。",
    3: "セットアップは完了しました。",
    4: "セットアップ先を選択してください。",
    5: "（特に変更する必要はありません）",
    6: "いくつかのファイルが削除できませんでした。",
    7: "ソフトの削除は完了しました。",
    8: "<中止>ボタンをクリックして終了できます。",
    9: "動作している「くおりん」があるために実行できません。\n\nくおりんを終了させてから継続しますか？)",
    10: "今までWindows3.1版を利用した可能性があります。\n\n\"環境を引き継ぎますか？\n",
    11: "\"くおりんの環境の一部を初期化しました。\n\"",
    12: "プログラムグループを作成できませんでした。\n他に動作していたソフトが原因と考えられます。\nWindowsを再起動した後でやり直してください。",
    13: "ファイルを削除できません。",
    14: "今まで体験版を利用した可能性があります。\n\n体験版のデータをインストール先フォルダにコピーしますか？\n",
    15: "ファイル: %s をコピーできません！",
    16: "本当に削除しますか？",
    17: "アプリケーションの削除確認",
    18: "くおりん修復ツール",
    3000: " ", 3001: "キャンセルされました", 3002: "書庫が見つかりません", 3003: "未知の形式",
    3004: "ファイルが壊れています", 3005: "メモリーが足りません", 3006: "メモリーエラー",
    3007: "読込みエラー", 3008: "書き込みエラー", 3009: "内部エラー",
}

passed, failed = 0, 0


def check(name, ok, detail=''):
    global passed, failed
    if ok:
        passed += 1
        print('PASS', name)
    else:
        failed += 1
        print('FAIL', name, detail)


def check_image(label, path, want_payload):
    pe = PE(path)
    check(label + ': i386 machine', pe.machine == 0x14C, hex(pe.machine))
    check(label + ': PE32 (not PE32+)', pe.magic == 0x10B, hex(pe.magic))
    check(label + ': GUI subsystem', pe.subsystem == 2, pe.subsystem)
    check(label + ': subsystem version 4.0', pe.subsystem_version == (4, 0), pe.subsystem_version)
    check(label + ': stripped (no COFF symbols)', struct.unpack_from('<I', pe.data, pe.pe + 12)[0] == 0)
    imports = pe.imports()
    check(label + ': imports something', bool(imports))
    for dll, functions in imports:
        upper = dll.upper()
        check('%s: no runtime DLL (%s)' % (label, dll), not upper.startswith(RUNTIME_DLL_PREFIXES))
        check('%s: %s is a system DLL of every target' % (label, dll), upper in ALLOWED_IMPORTS,
              'not in the list of importable DLLs')
        for function in functions:
            check('%s: %s!%s is exported by every target' % (label, dll, function),
                  function in ALLOWED_IMPORTS.get(upper, ()), 'not in the list: look it up at run time')
    res = pe.resources()
    check(label + ': DLG_MASTER dialog', 'DLG_MASTER' in res.get(RT_DIALOG, {}), list(res.get(RT_DIALOG, {})))
    dialogs = res.get(RT_DIALOG, {}).get('DLG_MASTER', [])
    check(label + ': DLG_MASTER in Japanese', [lang for lang, _ in dialogs] == [0x411], dialogs and dialogs[0][0])
    icon = dialog_controls(dialogs[0][1]).get(1002) if dialogs else None
    check(label + ': DLG_MASTER icon control 1002 at 7, 13 with size 20, 20 (SS_ICON, SETUP_ICON)',
          icon is not None and icon[0] & 0x1F == 3 and icon[1] == (7, 13, 20, 20) and icon[2] == 'SETUP_ICON',
          icon)
    icons = res.get(RT_GROUP_ICON, {})
    check(label + ': icon groups SETUP_ICON and UNSET_ICON', {'SETUP_ICON', 'UNSET_ICON'} <= set(icons), list(icons))
    table = strings_of(res)
    for sid, text in EXPECTED_STRINGS.items():
        check('%s: string %d' % (label, sid), table.get(sid) == text, repr(table.get(sid)))
    check(label + ': no other strings', set(table) == set(EXPECTED_STRINGS), sorted(set(table) - set(EXPECTED_STRINGS)))
    manifests = res.get(RT_MANIFEST, {}).get(1, [])
    text = manifests[0][1].decode('utf-8') if manifests else ''
    try:
        xml.dom.minidom.parseString(text)
        well_formed = ''
    except Exception as error:  # a manifest that does not parse stops the loader (side-by-side error)
        well_formed = str(error)
    check(label + ': manifest is well-formed XML', not well_formed, well_formed)
    for needle in ('name="Brastelo.quorin.setup"', 'version="1.0.0.0"', 'processorArchitecture="x86"',
                   '<description>quorin Application Setup</description>',
                   'name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*"',
                   # Vista, 7, 8, 8.1, 10 and 11; system DPI awareness.
                   '<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>',
                   '<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>',
                   '<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>',
                   '<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>',
                   '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>',
                   '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>'):
        check(label + ': manifest has ' + needle, needle in text, text[:200])
    if not well_formed:
        check_execution_level(label, text)
    version = res.get(RT_VERSION, {}).get(1, [])
    check(label + ': version record', bool(version) and 'quorin Application Setup'.encode('utf-16-le') in version[0][1])
    payload = res.get(RT_RCDATA, {}).get(19, [])
    if want_payload:
        check(label + ': carries RCDATA 19', len(payload) == 1)
        if payload:
            data = payload[0][1]
            check(label + ': RCDATA 19 starts with a level-2 -lh5- or -lh0- header',
                  data[2:7] in (b'-lh5-', b'-lh0-') and data[20] == 2, data[:24])
    else:
        check(label + ': carries no RCDATA 19 (copy mode)', not payload)
    return pe


ASM_V3 = 'urn:schemas-microsoft-com:asm.v3'


def check_execution_level(label, text):
    """The requested execution level as the loader reads it, namespaces resolved: one trustInfo
    of asm.v3 that declares the namespace once, on itself (XP SP2 restarts on a second
    declaration and refuses a trustInfo without one), and nothing inside it again."""
    document = xml.dom.minidom.parseString(text)
    trust = document.getElementsByTagNameNS(ASM_V3, 'trustInfo')
    declared = [[(n, v) for n, v in e.attributes.items() if n == 'xmlns' or n.startswith('xmlns:')]
                for e in trust[:1] + (trust[0].getElementsByTagName('*') if trust else [])]
    check(label + ': one trustInfo of asm.v3, in assembly',
          len(trust) == 1 and trust[0].parentNode == document.documentElement, len(trust))
    check(label + ': asm.v3 declared once, on trustInfo itself',
          declared[:1] == [[('xmlns', ASM_V3)]] and not any(declared[1:]), declared)
    levels = [(e.parentNode.parentNode.localName, e.getAttribute('level'), e.getAttribute('uiAccess'))
              for e in document.getElementsByTagNameNS(ASM_V3, 'requestedExecutionLevel')]
    check(label + ': security/requestedPrivileges/requestedExecutionLevel highestAvailable, no uiAccess',
          levels == [('security', 'highestAvailable', 'false')], levels)


def read_import_list(path):
    allowed = {}
    for line in open(path, encoding='utf-8'):
        if line.startswith('#') or not line.strip():
            continue
        dll, function = line.rstrip('\n').split('\t')[:2]
        if dll != 'dll':
            allowed.setdefault(dll.upper(), set()).add(function)
    return allowed


def main():
    global ALLOWED_IMPORTS
    full, stub = sys.argv[1], sys.argv[2]
    ALLOWED_IMPORTS = read_import_list(sys.argv[3])
    check_image('SETUP.EXE', full, True)
    check_image('stub SETUP.EXE', stub, False)
    print('%d passed, %d failed' % (passed, failed))
    sys.exit(1 if failed else 0)


if __name__ == '__main__':
    main()
