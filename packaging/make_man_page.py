#!/usr/bin/env python3
"""Writes a program's manual page from its own --help and --version (help2man), so the
page and the program cannot disagree; ekv's page also carries every command's --help.

    make_man_page.py PROGRAM NAME_LINE OUTPUT.1.gz [--commands] [--see-also PAGE...]

The page is compressed as Debian wants it (gzip -9, no name, no time stamp).
"""
import argparse
import gzip
import os
import re
import subprocess
import sys
import tempfile


def roff_text(line):
    """One line of plain text made safe for roff: backslashes escaped, and a leading
    dot or quote kept from reading as a request."""
    line = line.replace('\\', '\\e')
    if line.startswith(('.', "'")):
        line = '\\&' + line
    return line


def command_names(program):
    """The commands that 'PROGRAM --help' lists under "Commands:"."""
    text = subprocess.run([program, '--help'], check=True, capture_output=True, text=True).stdout
    names, inside = [], False
    for line in text.splitlines():
        if line == 'Commands:':
            inside = True
        elif inside and not line.strip():
            break
        elif inside:
            match = re.match(r'^  ([a-z][a-z0-9-]*)\b', line)
            if match:
                names.append(match.group(1))
    if not names:
        sys.exit(f'{program} --help lists no commands')
    return names


def commands_section(program):
    """A COMMANDS section: each command's --help as the program prints it."""
    base = os.path.basename(program)
    out = ['[COMMANDS]']
    for name in command_names(program):
        text = subprocess.run([program, name, '--help'], check=True, capture_output=True, text=True).stdout
        out += [f'.SS "{base} {name}"', '.nf', '.in 0']
        out += [roff_text(line) for line in text.rstrip('\n').splitlines()]
        out += ['.fi', '.in', '']
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('program')
    parser.add_argument('name_line')
    parser.add_argument('output')
    parser.add_argument('--commands', action='store_true')
    parser.add_argument('--see-also', nargs='*', default=[])
    args = parser.parse_args()

    include = []
    if args.commands:
        include += commands_section(args.program)
    if args.see_also:
        include += ['[SEE ALSO]', ',\n'.join(f'.BR {page.replace("(", " (")}' for page in args.see_also), '']
    with tempfile.TemporaryDirectory() as work:
        include_path = os.path.join(work, 'include.h2m')
        page_path = os.path.join(work, 'page.1')
        with open(include_path, 'w') as f:
            f.write('\n'.join(include) + '\n')
        subprocess.run(['help2man', '--no-info', '--section=1', '--name', args.name_line, '--include',
                        include_path, '--output', page_path, args.program], check=True)
        with open(page_path, 'rb') as f:
            page = f.read()
    with open(args.output, 'wb') as raw, gzip.GzipFile(filename='', mode='wb', compresslevel=9, fileobj=raw,
                                                        mtime=0) as packed:
        packed.write(page)


if __name__ == '__main__':
    main()
