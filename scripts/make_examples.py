#!/usr/bin/env python3
"""Writes the example survey files examples/line01.csv ... examples/line14.csv.

Fourteen parallel lines, 2 m apart, walked south to north over a field near 56°45'N 37°12'E with
a hand-held magnetometer reading five times a second and a GPS fixing once a second. Under the
field lie a few magnetic objects: a large iron mass, a small shallow piece, a deep broad body, a
reversely magnetised block and a buried pipe running diagonally. The readings add a slow diurnal
drift, a small heading offset per line and sensor noise to a ~51,000 nT background.

Standard library only; the seed is fixed, so every run writes the same bytes.
"""

import math
import os
import random

SEED = 56451237
LINES = 14
LINE_SPACING_M = 2.0
READINGS_PER_SECOND = 5
SENSOR_HEIGHT_M = 0.3
INCLINATION_DEG = 72.0  # of the Earth's field at this latitude
BACKGROUND_NT = 51230.0

# Site origin (south-west corner of the grid), degrees.
ORIGIN_LAT = 56 + 45.010 / 60
ORIGIN_LON = 37 + 12.010 / 60
METRES_PER_DEG_LAT = 111_132.0
METRES_PER_DEG_LON = 111_320.0 * math.cos(math.radians(ORIGIN_LAT))

HEADING = "Position,Field nT,Time,N/S,Latitude,E/W,Longitude"


def unit(v):
    length = math.sqrt(sum(c * c for c in v))
    return tuple(c / length for c in v)


# Direction of the Earth's field in (north, east, down).
FIELD_DIR = unit((math.cos(math.radians(INCLINATION_DEG)), 0.0, math.sin(math.radians(INCLINATION_DEG))))


def make_sources(rng):
    """Dipoles as (north m, east m, depth m, moment nT*m^3, moment direction)."""
    sources = [
        (22.0, 9.0, 1.2, 800.0, FIELD_DIR),    # large iron mass, a few hundred nT
        (41.0, 19.5, 0.4, 45.0, FIELD_DIR),    # small shallow piece, sharp
        (12.0, 21.0, 2.6, 1800.0, FIELD_DIR),  # deep broad body, wide and gentle
        (47.0, 5.0, 0.9, 220.0, unit((-0.3, 0.2, -0.9))),  # reversely magnetised block
    ]
    # A pipe: a row of weak dipoles from (5, 2) to (55, 25).
    for k in range(40):
        t = k / 39
        sources.append((5.0 + 50.0 * t, 2.0 + 23.0 * t, 0.9, 9.0, FIELD_DIR))
    # Scattered small debris.
    for _ in range(12):
        sources.append((rng.uniform(0, 62), rng.uniform(0, 26), rng.uniform(0.2, 0.6), rng.uniform(1.0, 4.0),
                        FIELD_DIR))
    return sources


def anomaly(sources, north, east):
    """Total-field anomaly in nT at a sensor above (north, east)."""
    total = 0.0
    for sn, se, depth, moment, mdir in sources:
        r = (north - sn, east - se, -SENSOR_HEIGHT_M - depth)
        dist = math.sqrt(r[0] ** 2 + r[1] ** 2 + r[2] ** 2)
        rh = (r[0] / dist, r[1] / dist, r[2] / dist)
        m_r = sum(a * b for a, b in zip(mdir, rh))
        f_r = sum(a * b for a, b in zip(FIELD_DIR, rh))
        m_f = sum(a * b for a, b in zip(mdir, FIELD_DIR))
        total += moment * (3.0 * m_r * f_r - m_f) / dist ** 3
    return total


def diurnal(seconds):
    """Slow drift of the background over the morning, nT."""
    hours = seconds / 3600.0
    return 9.0 * math.sin(2 * math.pi * (hours - 10.0) / 7.0) + 1.6 * math.sin(2 * math.pi * hours / 0.9)


def ddmm(degrees, width):
    whole = int(degrees)
    minutes = (degrees - whole) * 60
    text = f"{whole:0{width}d}{minutes:07.4f}"
    return text


def clock(seconds):
    s = int(seconds)
    return f"{s // 3600 % 24:02d}:{s // 60 % 60:02d}:{s % 60:02d}"


def write_line(path, index, sources, rng, start_seconds):
    east_nominal = index * LINE_SPACING_M
    length = 60.0 + rng.uniform(-4.0, 4.0)
    speed = rng.uniform(0.45, 0.62)  # metres a second
    readings = int(length / speed * READINGS_PER_SECOND)
    heading_offset = rng.gauss(0.0, 0.8)
    # GPS error wanders slowly (metres north and east).
    gps_n = rng.gauss(0, 0.4)
    gps_e = rng.gauss(0, 0.4)
    # One stretch without a fix on some lines (trees at the edge of the field).
    gap = None
    if rng.random() < 0.45:
        first = rng.randrange(30, readings - 40)
        gap = (first, first + rng.randrange(4, 25), rng.choice(["", "?"]))

    rows = [HEADING]
    fix = None
    for i in range(readings):
        t = start_seconds + i / READINGS_PER_SECOND
        north = i * length / (readings - 1)
        east = east_nominal + 0.15 * math.sin(north / 3.1 + index)  # the walker's sway
        field = (BACKGROUND_NT + 0.04 * north + diurnal(t) + heading_offset + anomaly(sources, north, east)
                 + rng.gauss(0.0, 0.25))
        if i % READINGS_PER_SECOND == 0:
            gps_n = 0.9 * gps_n + rng.gauss(0, 0.15)
            gps_e = 0.9 * gps_e + rng.gauss(0, 0.15)
            lat = ORIGIN_LAT + (north + gps_n) / METRES_PER_DEG_LAT
            lon = ORIGIN_LON + (east + gps_e) / METRES_PER_DEG_LON
            fix = (ddmm(lat, 2), ddmm(lon, 3))
        label = f"L{index + 1:02d}-{i + 1:04d}"
        if gap and gap[0] <= i < gap[1]:
            blank = gap[2]
            rows.append(f"{label},{field:.2f},{clock(t)},?,{blank},{blank},{blank}")
        else:
            rows.append(f"{label},{field:.2f},{clock(t)},N,{fix[0]},E,{fix[1]}")
    with open(path, "wb") as out:
        out.write(("\r\n".join(rows) + "\r\n").encode("ascii"))
    return start_seconds + readings / READINGS_PER_SECOND


def main():
    rng = random.Random(SEED)
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "examples")
    os.makedirs(root, exist_ok=True)
    sources = make_sources(rng)
    seconds = 10 * 3600 + 12 * 60  # 10:12:00
    for index in range(LINES):
        path = os.path.join(root, f"line{index + 1:02d}.csv")
        end = write_line(path, index, sources, rng, seconds)
        seconds = end + rng.uniform(25, 45)  # walking back to the start of the next line


if __name__ == "__main__":
    main()
