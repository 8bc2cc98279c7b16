#!/usr/bin/env python3
"""Writes the Windows answers the Linux text services cannot take from ICU:
WindowsTextTables.inc from the committed Windows reference table, and
WindowsSortWeights.inc from the committed Windows sort keys.

Regenerate (from the repository root; both inputs are recorded under Wine):

    cmake --preset windows &&
    cmake --build build/windows --target TextReference WindowsSortKeys &&
    WINEDEBUG=-all wine build/windows/bin/TextReference.exe tests/data/TextCorpus.txt \
        tests/data/TextReference.windows.txt &&
    WINEDEBUG=-all wine build/windows/bin/WindowsSortKeys.exe tests/data/WindowsSortKeys.txt &&
    platform/posix/GenerateWindowsTextTables.py \
        tests/data/TextReference.windows.txt platform/posix/WindowsTextTables.inc \
        tests/data/WindowsSortKeys.txt platform/posix/WindowsSortWeights.inc

From the reference table it extracts the best-fit mappings Windows applies
when a code page lacks a character (WideCharToMultiByte without
WC_NO_BEST_FIT_CHARS), the ranges of units that iswpunct and iswspace accept,
and the units that the script processor keeps with the character before them
(category "clusterunit"). From the sort keys (LCMapStringEx, LCMAP_SORTKEY, of
every unit) it writes each unit's weights level by level, in runs of units
whose weights differ only by a growing last base byte, and the units that
SORT_DIGITSASNUMBERS reads as digits. With two arguments only
WindowsTextTables.inc is written.
"""
import re
import sys

RANGE = re.compile(r'([0-9A-F]+)-([0-9A-F]+)$')
DEFAULT_CHAR = '3F'


def load(path):
    units = {}    # category -> {unit: value}
    singles = {}  # category -> {key: value}
    with open(path, encoding='ascii') as f:
        for line in f:
            line = line.rstrip('\r\n')
            if not line or line.startswith('#'):
                continue
            fields = line.split('\t')
            category, key, value = fields[0], '\t'.join(fields[1:-1]), fields[-1]
            m = RANGE.match(key)
            if m:
                target = units.setdefault(category, {})
                for u in range(int(m.group(1), 16), int(m.group(2), 16) + 1):
                    target[u] = value
            else:
                singles.setdefault(category, {})[key] = value
    return units, singles


def best_fit(units, singles, prefix):
    decoded = {int(v, 16): int(b, 16) for b, v in singles[prefix + '.decode'].items()}
    entries = []
    for u, value in sorted(units[prefix + '.unit'].items()):
        if value in (DEFAULT_CHAR, 'fail') or len(value) != 2:
            continue
        if decoded.get(u) == int(value, 16):
            continue  # an exact mapping, not a best fit
        entries.append((u, int(value, 16)))
    return entries


def parse_key(hexkey):
    """Splits a sort key into its levels: primary, diacritic, case, extra,
    special. The primary level is read as two-byte weights, so a weight whose
    first byte is the separator value (a few ligatures) does not end it."""
    key = bytes.fromhex(hexkey)[:-1]
    i = 0
    while i < len(key) and key[i] != 1:
        i += 2
    i = min(i, len(key))
    # A two-byte weight "01 00" is a zero weight, not the separator.
    while i + 1 < len(key) and key[i] == 1 and key[i + 1] == 0:
        i += 2
        while i < len(key) and key[i] != 1:
            i += 2
    primary = key[:i]
    rest = key[i + 1:].split(b'\x01')
    rest += [b''] * (4 - len(rest))
    return primary, rest[0], rest[1], rest[2], b'\x01'.join(rest[3:])


# Extra-level flags of kana, set when the unit is NOT of the marked kind, so
# that the marked kind (small, katakana, half width) sorts first as in
# Windows' keys, where the mark is a byte below the section's end byte.
KANA_PLAIN_SIZE, KANA_HIRAGANA, KANA_FULL_WIDTH, KANA = 0x4, 0x2, 0x1, 0x80
SPECIAL_POSITION_BYTES = 2


def kana_flags(extra):
    """The kana marks of a unit's extra level: three sections, each ending in
    FF, holding C4 when the unit is small, katakana or half width."""
    if not extra:
        return 0
    sections = extra.split(b'\xff')
    marked = [b'\xc4' in section for section in sections[:3]]
    return (KANA | (0 if marked[0] else KANA_PLAIN_SIZE) | (0 if marked[1] else KANA_HIRAGANA) |
            (0 if marked[2] else KANA_FULL_WIDTH))


def strip_zero_weights(primary):
    """Drops the "01 00" weights a few expansions hold for a piece without a
    base weight (U+0F73 is U+0F71 U+0F72): they weigh nothing."""
    pairs = [primary[i:i + 2] for i in range(0, len(primary), 2)]
    return b''.join(p for p in pairs if p != b'\x01\x00')


def sort_digits(records):
    """Units that SORT_DIGITSASNUMBERS reads as digits, as ranges of
    consecutive values: those with the base weight of an ASCII digit and no
    case weight beyond width (superscripts and circled digits keep theirs and
    stay symbols)."""
    values = {records[ord('0') + v][4:6]: v for v in range(10)}
    digits = []
    for unit, record in sorted(records.items()):
        length, count = record[0], record[1]
        primary = record[4:4 + length]
        case = record[4 + length + count:4 + length + 2 * count]
        if length == 2 and primary in values and all(c & ~1 == 2 for c in case):
            value = values[primary]
            if digits and digits[-1][1] == unit - 1 and digits[-1][2] + unit - digits[-1][0] == value:
                digits[-1] = (digits[-1][0], unit, digits[-1][2])
            else:
                digits.append((unit, unit, value))
    return digits


def sort_records(path):
    """One record per weighed unit: primary length, weight count, word-sort
    special weight and kana flags, then the primary bytes and one diacritic
    and one case byte per weight (2, the default, where the key omits it)."""
    records = {}
    with open(path, encoding='ascii') as f:
        for line in f:
            if line.startswith('#'):
                continue
            unit, word, string, grow = line.rstrip('\r\n').split('\t')
            primary, diacritic, case, extra, special = parse_key(word)
            primary = strip_zero_weights(primary)
            weight = 0
            if special:
                # Word sort sets the unit aside: position bytes, weight, case.
                weight = special[SPECIAL_POSITION_BYTES]
                primary, diacritic, case, extra, _ = parse_key(word if string == '=' else string)
                primary = strip_zero_weights(primary)
            count = max(len(diacritic) + (max(int(grow), 0) if primary else 0), len(case))
            if primary or weight:
                count = max(count, 1)
            diacritic = diacritic + b'\x02' * (count - len(diacritic))
            case = case + b'\x02' * (count - len(case))
            assert len(primary) < 256 and count < 256
            records[int(unit, 16)] = bytes([len(primary), count, weight, kana_flags(extra)]) + primary + diacritic + case
    return records


def sort_runs(records):
    """Runs of units whose records differ only by a last primary byte that
    grows by one per unit: most scripts, and all of CJK and Hangul, are such
    runs, so the table keeps one record per run."""
    runs = []
    for unit in sorted(records):
        record = records[unit]
        if runs:
            first, count, base = runs[-1]
            length = base[0]
            if (first + count == unit and length > 0 and len(record) == len(base) and
                    record[:3 + length] == base[:3 + length] and record[4 + length:] == base[4 + length:] and
                    record[3 + length] == base[3 + length] + count):
                runs[-1] = (first, count + 1, base)
                continue
        runs.append((unit, 1, record))
    return runs


def rows(items, per_line):
    """The lines of an array initializer: `per_line` items to a line, indented,
    each line ending in a comma."""
    return ['    ' + ', '.join(items[i:i + per_line]) + ','
            for i in range(0, len(items), per_line)]


def emit_sort_weights(path, target):
    records = sort_records(path)
    digits = sort_digits(records)
    runs = sort_runs(records)
    pool, entries = bytearray(), []
    for first, count, record in runs:
        entries.append((first, count, len(pool)))
        pool += record
    lines = [
        '// Generated by platform/posix/GenerateWindowsTextTables.py from',
        '// tests/data/WindowsSortKeys.txt; do not edit. Windows\' sort weights of',
        '// every UTF-16 unit, as runs of units whose records differ only by a last',
        '// primary byte that grows by one per unit.',
        '//',
        '// A record: primary length P, weight count N, word-sort special weight',
        '// (0: none; the primary is then the string-sort one), kana flags (0x80 set',
        '// for kana: 0x4 not small, 0x2 not katakana, 0x1 not half width), P primary',
        '// bytes, N diacritic bytes, N case bytes. Units outside every run weigh',
        '// nothing.',
        '#pragma once',
        '',
        '#include <array>',
        '#include <cstdint>',
        '',
        'namespace Platform::WindowsTables {',
        '',
        'struct SortRun {',
        '    std::uint16_t first;',
        '    std::uint16_t count;',
        '    std::uint32_t record; ///< offset into kSortRecords',
        '};',
        '',
        'struct SortDigits {',
        '    std::uint16_t first;',
        '    std::uint16_t last;',
        '    std::uint8_t value;',
        '};',
        '',
        'inline constexpr std::array<SortRun, %d> kSortRuns = {{' % len(entries),
    ]
    lines += rows(['{0x%04X, %d, %d}' % entry for entry in entries], 6)
    lines.append('}};')
    lines.append('')
    lines.append('inline constexpr std::array<std::uint8_t, %d> kSortRecords = {{' % len(pool))
    lines += rows(['0x%02X' % b for b in pool], 16)
    lines.append('}};')
    lines.append('')
    lines.append('')
    lines.append('/// Units read as digits by SORT_DIGITSASNUMBERS: first, last, value of first.')
    lines.append('inline constexpr std::array<SortDigits, %d> kSortDigits = {{' % len(digits))
    lines += rows(['{0x%04X, 0x%04X, %d}' % d for d in digits], 4)
    lines.append('}};')
    lines.append('')
    lines.append('} // namespace Platform::WindowsTables')
    lines.append('')
    with open(target, 'w', encoding='ascii', newline='\n') as f:
        f.write('\n'.join(lines))


def emit_units(name, units, per_line):
    lines = ['inline constexpr std::array<std::uint16_t, %d> %s = {{' % (len(units), name)]
    lines += rows(['0x%04X' % u for u in units], per_line)
    lines.append('}};')
    return '\n'.join(lines)


def ranges(units, category, on_value=lambda value: value == '1'):
    merged = dict(units.get(category + '.ascii', {}))
    merged.update(units[category])
    out, start = [], None
    for u in range(0x10000):
        on = u in merged and on_value(merged[u])
        if on and start is None:
            start = u
        if not on and start is not None:
            out.append((start, u - 1))
            start = None
    if start is not None:
        out.append((start, 0xFFFF))
    return out


def emit_pairs(name, kind, pairs, per_line):
    lines = ['inline constexpr std::array<%s, %d> %s = {{' % (kind, len(pairs), name)]
    item = '{0x%04X, 0x%02X}' if kind == 'BestFitEntry' else '{0x%04X, 0x%04X}'
    lines += rows([item % pair for pair in pairs], per_line)
    lines.append('}};')
    return '\n'.join(lines)


def main():
    source, target = sys.argv[1], sys.argv[2]
    if len(sys.argv) == 5:
        emit_sort_weights(sys.argv[3], sys.argv[4])
    units, singles = load(source)
    parts = [
        '// Generated by platform/posix/GenerateWindowsTextTables.py from',
        '// tests/data/TextReference.windows.txt; do not edit. Windows answers that',
        '// ICU has no data for: best-fit mappings of the single-byte code pages, the',
        '// units iswpunct and iswspace accept and the units that extend a character',
        '// cluster (sorted inclusive ranges).',
        '#pragma once',
        '',
        '#include <array>',
        '#include <cstdint>',
        '',
        'namespace Platform::WindowsTables {',
        '',
        'struct BestFitEntry {',
        '    std::uint16_t unit;',
        '    std::uint8_t byte;',
        '};',
        '',
        'struct UnitRange {',
        '    std::uint16_t first;',
        '    std::uint16_t last;',
        '};',
        '',
        emit_pairs('kWindows1252BestFit', 'BestFitEntry', best_fit(units, singles, 'cpansi'), 6),
        '',
        emit_pairs('kMacRomanBestFit', 'BestFitEntry', best_fit(units, singles, 'cp2'), 6),
        '',
        emit_pairs('kPunctuation', 'UnitRange', ranges(units, 'punct'), 5),
        '',
        emit_pairs('kWhitespace', 'UnitRange', ranges(units, 'space'), 5),
        '',
        '// Units that join the character before them (no cluster boundary before',
        '// them) when they follow a letter.',
        emit_pairs('kClusterExtend', 'UnitRange', ranges(units, 'clusterunit', lambda v: v[0] == '0'), 5),
        '',
        '} // namespace Platform::WindowsTables',
        '',
    ]
    with open(target, 'w', encoding='ascii', newline='\n') as f:
        f.write('\n'.join(parts))


if __name__ == '__main__':
    main()
