#!/usr/bin/env python3
"""Turns the UTF-8 sources of the stand-in application's data files into the files
as they lie on a Japanese Windows system.

usage: make-files.py text SOURCE.txt OUTPUT   UTF-8 text -> code page 932, CRLF line ends
       make-files.py help TOPICS.txt OUTPUT   writes the sample help file

The help file is a sample only, not in the format of the Windows help engine: a
labelled header, a topic table and the topic texts in code page 932. TOPICS.txt
holds one topic a line: id, title and text, separated by tabs.
"""
import struct
import sys

HELP_MAGIC = b'QRBHELP\x1a'
HELP_LABEL = 'SAMPLE HELP FILE of the stand-in application (not a WinHelp file)'


def crlf_cp932(text):
    text = text.replace('\r\n', '\n').replace('\n', '\r\n')
    return text.encode('cp932')  # strict: a character outside code page 932 is an error


def make_text(source, output):
    with open(source, encoding='utf-8') as f:
        data = crlf_cp932(f.read())
    with open(output, 'wb') as f:
        f.write(data)


def make_help(source, output):
    topics = []
    with open(source, encoding='utf-8') as f:
        for line in f:
            line = line.rstrip('\n')
            if line:
                ident, title, text = line.split('\t')
                topics.append((ident.encode('ascii'), title.encode('cp932'), crlf_cp932(text)))
    label = crlf_cp932(HELP_LABEL + '\n見本のヘルプファイル\n') + b'\x1a'
    # Header: magic, version, topic count, offset of the table; then the label.
    head_size = len(HELP_MAGIC) + 8
    table_offset = head_size + len(label)
    table_size = 16 * len(topics)
    body = bytearray()
    table = bytearray()
    offset = table_offset + table_size
    for number, (ident, title, text) in enumerate(topics, 1):
        record = ident + b'\0' + title + b'\0' + text + b'\0'
        table += struct.pack('<IIII', number, offset, len(record), sum(record) & 0xFFFFFFFF)
        body += record
        offset += len(record)
    data = HELP_MAGIC + struct.pack('<HHI', 1, len(topics), table_offset) + label + table + body
    with open(output, 'wb') as f:
        f.write(data)


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ('text', 'help'):
        sys.exit(__doc__.split('\n\n')[1])
    (make_text if sys.argv[1] == 'text' else make_help)(sys.argv[2], sys.argv[3])


if __name__ == '__main__':
    main()
