#!/usr/bin/env python3
"""Builds the seed corpus of every fuzz target: python3 fuzz/make_seeds.py OUTPUT_DIR.

Seeds come from the example survey lines, the map page template and small inline cases; each
target's directory is OUTPUT_DIR/<target>. Existing files are kept (libFuzzer adds its own)."""
import hashlib
import pathlib
import struct
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
FILE_SEPARATOR = b"<<next-file>>"


def write(out, target, seeds):
    folder = out / target
    folder.mkdir(parents=True, exist_ok=True)
    for seed in seeds:
        name = hashlib.sha1(seed).hexdigest()
        (folder / name).write_bytes(seed)


def examples():
    return [p.read_bytes() for p in sorted((ROOT / "examples").glob("*.csv"))]


def loader_seeds():
    files = examples()
    small = [f[:2000] for f in files]  # the first rows keep each run fast
    inline = [
        b"",
        b"a,b,c,d,e,f,g\r\n1,2,3,4,5,6,7\r\n1,2,3,4,5,6,7\r\n",
        b"a,b,c\n\n",
        b"a,b,\n",
        b"a,,b\n",
        b'a,"b,c"\n',
        b'a,"b""c",d\n',
        b'a,"\n',
        b"x;y;z;w\nx;y;z;w\n",
        b"12\r34\n",
        b"a,b\n\x1arest\n",
        b"a,b\x1ahidden\nc,d\n",
        b"a\tb\tc\n1\t2\t3\n",
        b"a|b|c\n1|2|3\n",
        b"a#b#c\n1#2#3\n",
        b'"unclosed,field,x\n1,2,3\n',
    ]
    seeds = [bytes([opt]) + body for body in small + inline for opt in (0, 1)]
    # Sequences: a file settling ";" followed by files written with ",", with and without Clear.
    seeds.append(b"\x01" + b"x;y;z;w\nx;y;z;w\n" + FILE_SEPARATOR + small[0] + FILE_SEPARATOR + b"\x00\x03\x01\x05")
    seeds.append(b"\x00" + small[0] + FILE_SEPARATOR + small[1] + FILE_SEPARATOR + b"\x00\x00\x01\x02\x03\x07")
    seeds.append(b"\x02" + small[2] + FILE_SEPARATOR + b"a,b\n" * 20 + FILE_SEPARATOR)
    seeds.append(b"\x12" + b"a,b,c,d,e,f,g,h,i,j\n" * 3 + FILE_SEPARATOR + b"\x04\x08")
    return seeds


def number_seeds():
    texts = [b"50000.5", b"50001.5", b"-0", b"1E", b".", b",", b" -1.5e-3 ", b"$1F", b"0x10", b"-$10",
             b"56.751655", b"1e4932", b"1e-4950", b"1.18973149535723176502e4932", b"12 ", b" 12",
             b"2147483647", b"-2147483648", b"2147483648", b"1,5", b"1.5", b"\t1", b"1 000", b"+.5E+2",
             b"0.0001", b"0.00005", b"1e15", b"999999999999999.5", b"9223372036854775807.5", b"xFFFFFFFF"]
    seeds = [bytes([opt]) + t for t in texts for opt in (0, 1)]
    # Raw bit patterns: one extended and one double value in the first bytes.
    for value in (0.1, -3.5, 1e300, 5e-324, float("inf"), float("nan")):
        seeds.append(b"\x00" + b"\x00" * 10 + struct.pack("<d", value) + b"1")
    seeds.append(b"\x00" + b"\xff" * 10 + b"\x01" * 8 + b"1")
    # Extended encodings the processor treats as invalid or special: unnormal, pseudo-denormal,
    # pseudo-infinity, pseudo-NaN, and the smallest and largest denormals.
    for exponent, mantissa in ((0x3FFF, 1 << 62), (0, (1 << 63) | 1), (0x7FFF, 0), (0x7FFF, (1 << 62) | 1),
                               (0, 1), (0, (1 << 63) - 1)):
        seeds.append(b"\x00" + struct.pack("<QH", mantissa, exponent) + struct.pack("<d", 1.5) + b"1")
    return seeds


def position_seeds():
    seeds = [
        b"\x00N\x005645.0993\x00E\x0003712.1697",
        b"\x01N\x005645.0993\x00W\x0003712.1697",
        b"\x00S\x005645.0993\x00E\x0003712.1697",
        b"\x00n\x005645.0993\x00e\x0003712.1697",
        b"\x00?\x00\x00\x00",
        b"\x000\x005645\x00E\x000",
        b"\x00N\x00\x00E\x00",
        b"\x00N\x00 5a45.0993\x00E\x00$3712.1697",
    ]
    for line in examples()[0].split(b"\n")[1:6]:
        cells = line.rstrip(b"\r").split(b",")
        if len(cells) >= 7:
            seeds.append(b"\x00" + b"\x00".join(cells[3:7]))
    return seeds


def resample_seeds():
    seeds = []
    # sw, sh, dw, dh, form, then (optional width byte or bits) and pixels.
    seeds.append(bytes([2, 1, 3, 1, 0x32]) + bytes([0, 0, 0, 5, 5, 5]))       # (0, 5) to three pixels
    seeds.append(bytes([2, 1, 4, 1, 0x32]) + bytes([0, 0, 0, 100, 100, 100]))
    seeds.append(bytes([3, 1, 2, 1, 0x32]) + bytes([0] * 6 + [100] * 3))      # shrinking folds
    seeds.append(bytes([5, 1, 3, 1, 0x32]) + bytes([0, 0, 0, 255, 255, 255] * 2 + [0, 0, 0]))
    seeds.append(bytes([8, 1, 3, 1, 0x3A, 255, 255, 255]))                    # flat 255 shrunk
    seeds.append(bytes([24, 14, 48, 48, 0x02]) + bytes(range(256)) * 6)      # the matrix's own call
    for kernel in range(7):
        seeds.append(bytes([7, 5, 13, 3, kernel]) + bytes(range(0, 256, 3)) * 2)
        seeds.append(bytes([9, 9, 2, 1, 0x40 | kernel, 200]) + bytes(range(256)))
    seeds.append(bytes([4, 4, 4, 4, 0x80 | 2]) + struct.pack("<f", float("nan")) + bytes(64))
    seeds.append(bytes([4, 4, 4, 4, 0x80 | 5]) + struct.pack("<f", -1.0) + bytes(64))
    seeds.append(bytes([0, 4, 4, 4, 2]))
    return seeds


def map_seeds():
    template = (ROOT / "map" / "_Mapa.html").read_bytes()
    texts = b"GLargeMapControl\x00GSmallZoomControl\x00GMapTypeControl\x00"
    seeds = []
    for options in (0x07, 0x0F, 0x01, 0x00, 0x08):
        controls = b"".join(texts.split(b"\x00")[k] + b"\x00" for k in range(options >> 1 & 3))
        head = bytes([options]) + struct.pack("<HH", 1750, 1400) + controls
        seeds.append(head + b"56.751655\x0037.202829\x00G_HYBRID_MAP\x00" + template)
        seeds.append(head + b"?\x00?\x00G_SATELLITE_MAP\x00" + b"a\r\n##MAPTYPE## ##MARCA##\rb\n##TAMANYO##\n##TAMANYO##")
    seeds.append(b"\x09" + struct.pack("<HH", 0, 65535) + b"-90\x00180.0\x00\x00\x00")
    seeds.append(b"\x0b" + struct.pack("<HH", 1000, 1000) + b"A\x0012.5\x00-1e3\x00T\x00x\x00##CONTROLS##\r\n##VENTANA##")
    return seeds


def matrix_seeds():
    files = [f[:1500] for f in examples()[:4]]
    seeds = []
    # contrast, balance (16 bits), 16 schedule bytes (1: a file deleted at that selection,
    # 2: the table reloaded when the balance is set), then the files.
    for contrast, balance, schedule in ((3, 0, bytes(16)), (3, 0, bytes([0, 0, 2] + [0] * 13)),
                                        (0, 50000, bytes(16)), (255, 0, bytes([0, 0, 0, 1] + [0] * 12))):
        head = bytes([contrast]) + struct.pack("<H", balance) + schedule
        seeds.append(head + FILE_SEPARATOR.join(files))
    seeds.append(bytes([3, 0, 0]) + bytes(16) + b"a,b\n1,5x" + FILE_SEPARATOR + files[0])
    seeds.append(bytes([3, 0, 0]) + bytes(16) + b"" + FILE_SEPARATOR + b"a\n")
    return seeds


def gathering_seeds():
    files = [f[:1200] for f in examples()[:5]]
    seeds = [bytes([0]) + FILE_SEPARATOR.join(files), bytes([2 | 1 << 2]) + FILE_SEPARATOR.join(files[:3])]
    # Fixes in other forms: more minute decimals, "," decimals, S and W, no fix, short rows, a blank line.
    odd = (b"Position;Field nT;Time;N/S;Latitude;E/W;Longitude\r\n"
           b"a;51232,05;t;S;5645,010123;W;03712,0093\r\n"
           b"b;51232.05;t;N;5645.0101234567;E;03712.009\r\n"
           b"c;-7.5;t;?;0;0;0\r\n"
           b"d;1E3;t;N;5645;E;03712\r\n"
           b"e;x;t;N;5645.0101;E;03712.0093\r\n\r\n"
           b"f;5;t;N;9000.0000;E;18000.0000\r\n"
           b"g;5;t\r\n")
    seeds += [bytes([0]) + odd, bytes([1]) + odd, bytes([0]) + odd + FILE_SEPARATOR + files[0] + FILE_SEPARATOR + b""]
    seeds.append(bytes([3]) + b"a\tb\tc\td\te\tf\tg\n1\t2,5\tx\tN\t5645.1\tE\t03712.1\n")
    return seeds


def recipe_seeds():
    def steps(*items, mode="files"):
        return ('{"recipe": "quarlomet", "version": 1, "traverses": "%s", "steps": [%s]}' % (mode, ", ".join(items))).encode()
    readings = bytes([1]) + bytes(b for k in range(60) for b in (k % 2 | (k % 5 == 0) << 2 | (k * 7 % 16) << 4,
                                                                 k * 37 % 256, k % 3))
    spikes = bytes([0]) + bytes(b for k in range(40) for b in (0x80 if k % 9 else 0x81, (k * 3) % 11 + (90 if k == 17 else 0), 0))
    recipes = [
        steps('{"op": "gaps", "equal": [0, 3], "above": 1000, "below": -1000}'),
        steps('{"op": "clip", "min": -5, "max": 5}', '{"op": "clip", "sd": 2}', '{"op": "clip", "percent": [5, 95]}'),
        steps('{"op": "zero-traverse", "statistic": "median", "within": [-100, 100]}', mode="column2"),
        steps('{"op": "zero-traverse", "statistic": "mean"}'),
        steps('{"op": "despike", "window": 5, "threshold": 3, "minimum": 0, "replace": "flag"}',
              '{"op": "shift", "readings": 1, "traverses": "odd"}', '{"op": "gaps", "above": 5}'),
        steps('{"op": "despike", "window": 7, "replace": "gap"}', '{"op": "high-pass", "window": 3}', mode="column2"),
        steps('{"op": "shift", "readings": -2, "traverses": "even"}', '{"op": "high-pass", "window": 301, "enabled": false}'),
        steps('{"op": "despike", "window": 513, "replace": "median"}', '{"op": "high-pass", "window": 999}'),
    ]
    seeds = [b"\x00" + r + b"<<readings>>" + d for r in recipes for d in (readings, spikes)]
    seeds.append(b"\x00{}")
    seeds.append(b"\x00" + b'{"recipe": "quarlomet", "version": 1, "steps": [{"op": "despike", "window": 4}]}')
    # Steps as bytes: a head (mode, count), then per step a kind byte and its parameters.
    seeds.append(bytes([1, 6 << 1, 3, 2, 7, 1, 0, 2, 0, 4, 1, 1, 5, 0, 1, 1, 0]) + readings)
    seeds.append(bytes([7, 5 << 1 | 1, 0, 4, 3, 1, 2, 30, 60, 3, 0, 1, 1, 0, 5, 255]) + spikes)
    # Long traverses, so that windows of more than 256 values (the ranked window) come up.
    long = bytes([0]) + bytes(b for k in range(590) for b in ((k // 300) | (k * 5 % 15) << 4, k * 29 % 256, k % 7))
    seeds.append(bytes([1, 3 << 1, 3, 251, 200, 0, 3, 0, 2, 5, 251, 150, 0, 2, 1]) + long)
    seeds.append(b"\x00" + steps('{"op": "despike", "window": 401, "replace": "flag"}', '{"op": "high-pass", "window": 299}')
                 + b"<<readings>>" + long)
    return seeds


def web_map_seeds():
    seeds = []
    for options in (0, 3, 4, 6, 7, 8, 16 | 2, 16 | 3, 32 | 3, 32 | 16 | 4):
        body = bytes((k * 73 + options * 11) % 256 for k in range(16 * 40))
        seeds.append(bytes([options]) + body)
    # Near the latitude limit and at the edges of the world.
    seeds.append(bytes([8]) + b"\xff" * 16 + b"\x00" * 16 + b"\xff" * 8 + b"\x00" * 8)
    return seeds


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_seeds.py OUTPUT_DIR")
    out = pathlib.Path(sys.argv[1])
    write(out, "fuzz_survey_loader", loader_seeds())
    write(out, "fuzz_numbers", number_seeds())
    write(out, "fuzz_position", position_seeds())
    write(out, "fuzz_resample", resample_seeds())
    write(out, "fuzz_map_page", map_seeds())
    write(out, "fuzz_matrix_raster", matrix_seeds())
    write(out, "fuzz_site_gathering", gathering_seeds())
    write(out, "fuzz_recipe", recipe_seeds())
    write(out, "fuzz_web_map_points", web_map_seeds())


if __name__ == "__main__":
    main()
