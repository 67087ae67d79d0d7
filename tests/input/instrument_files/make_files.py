#!/usr/bin/env python3
"""Writes the instrument layouts of this folder from one set of float32
samples, and the tagged recording of the same samples: each layout must
give the tagged recording's result rows byte for byte.

usage: make_files.py   (writes into the folder it is in)
"""
import math
import os
import random
import struct

FS = 16  # Hz: the times k / 16 are exact in decimal and binary
N = 600


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def text(x):
    """The shortest text that reads back to the float32 x through double."""
    return repr(float(x))


def scaled_text(x, per_unit):
    """Text in a unit (x / per_unit) that the reader, scaling by per_unit in
    double and rounding once, turns back into exactly x."""
    for digits in range(6, 18):
        candidate = '%.*g' % (digits, x / per_unit)
        if f32(float(candidate) * per_unit) == x:
            return candidate
    raise ValueError(x)


rng = random.Random(25)
v, i = [], []
wander = 0.0
for k in range(N):
    wander = 0.99 * wander + rng.gauss(0.0, 1.0)
    v.append(f32(-0.25 + 2e-6 * wander + 1e-6 * math.sin(0.7 * k)))
    i.append(f32(1e-7 * rng.gauss(0.0, 1.0) + 2e-9))
t = [k / FS for k in range(N)]
here = os.path.dirname(os.path.abspath(__file__))


def write(name, lines, newline='\n'):
    with open(os.path.join(here, name), 'w', newline='', encoding='utf-8') as f:
        f.write(newline.join(lines) + newline)


write('tagged.xml', ['<sampling_frequency>%d</sampling_frequency>' % FS, '<data>'] +
      ['<v>%s</v><i>%s</i>' % (text(a), text(b)) for a, b in zip(v, i)] + ['</data>'])

write('plain.csv', ['time,v,i'] + ['%r,%s,%s' % (tk, text(a), text(b)) for tk, a, b in zip(t, v, i)])

# Decimal commas under semicolons, a units row, CR LF line ends.
comma = lambda s: s.replace('.', ',')
write('semicolon.csv', ['Time;E;I', 's;V;A'] +
      [';'.join(comma(x) for x in (repr(tk), text(a), text(b))) for tk, a, b in zip(t, v, i)], '\r\n')

# No header: columns by number, the frequency given.
write('whitespace.txt', ['  %s    %s' % (text(a), text(b)) for a, b in zip(v, i)])

# An EC-Lab-style export: its own count of header lines, milliamperes.
eclab_table = ['mode\tox/red\terror\ttime/s\tcontrol/V\tEwe/V\t<I>/mA\tcycle number'] + [
    '1\t0\t0\t%r\t0\t%s\t%s\t0' % (tk, text(a), scaled_text(b, 1e-3)) for tk, a, b in zip(t, v, i)]
eclab_head = ['EC-Lab ASCII FILE', 'Nb header lines : %d' % 7, '', 'Electrochemical Noise',
              'Run on channel : 1', 'Ewe/V and <I>/mA are recorded every 62.5 ms']
write('ec_lab.mpt', eclab_head + eclab_table)

# A Gamry-style DTA file: parameter lines, a CURVE table with a units row;
# its rows start with a tab.
gamry = ['EXPLAIN', 'TAG\tCORPOT', 'TITLE\tLABEL\tElectrochemical Noise\tTest &Identifier',
         'DATE\tLABEL\t12/9/2026\tDate', 'TIME\tLABEL\t10:00:00\tTime',
         'SAMPLETIME\tQUANT\t6.25E-02\tSample &Period (s)', 'AREA\tQUANT\t1,00000E+00\tSample &Area (cm^2)',
         'CURVE\tTABLE\t%d' % N, '\tPt\tT\tVf\tIm\tVu\tSig\tAch\tIERange\tOver',
         '\t#\ts\tV vs. Ref.\tA\tV\tV\tV\t#\tbits'] + [
    '\t%d\t%r\t%s\t%s\t0\t0\t0\t5\t...........' % (k, tk, text(a), text(b)) for k, (tk, a, b) in
    enumerate(zip(t, v, i))]
write('gamry.DTA', gamry)

# Raw binary: interleaved pairs, little-endian float32 and big-endian float64.
with open(os.path.join(here, 'raw.f32le'), 'wb') as f:
    f.write(b''.join(struct.pack('<ff', a, b) for a, b in zip(v, i)))
with open(os.path.join(here, 'raw.f64be'), 'wb') as f:
    f.write(b''.join(struct.pack('>dd', a, b) for a, b in zip(v, i)))

# An Autolab-style ASCII export.
write('autolab.txt', ['Index;Time (s);WE(1).Potential (V);WE(1).Current (A)'] +
      ['%d;%r;%s;%s' % (k + 1, tk, text(a), text(b)) for k, (tk, a, b) in enumerate(zip(t, v, i))])
