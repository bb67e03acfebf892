#!/usr/bin/env python3
"""Writes speaker.spk, the loudspeaker of the example room.

A two-way box loudspeaker: nearly omnidirectional at low frequencies, more
and more directional toward high frequencies, and narrower vertically than
horizontally. The relative intensity in a direction at the angle theta from
the main axis, in the meridian plane at the angle phi from the horizontal, is

    back + (1 - back) * ((1 + cos theta) / 2) ** (k * (1 + 0.6 * sin(phi) ** 2))

where back = 10 ** (-frontToBack / 10) is the intensity straight behind.
Run it from this folder; it is deterministic.
"""
import math

FREQUENCIES = ["31.5", "63", "125", "250", "500", "1000", "2000", "4000", "8000", "16000"]
POWER_DB = [92, 98, 103, 106, 107, 107, 106, 104, 100, 94]
FRONT_TO_BACK_DB = [0.5, 1, 2, 4, 7, 10, 13, 16, 18, 20]
EXPONENT = [0.1, 0.2, 0.4, 0.8, 1.3, 2, 3, 4.5, 6.5, 9]


def intensity(band, row, column):
    theta = math.radians(column * 10 if column <= 18 else (36 - column) * 10)
    phi = math.radians(row * 10)
    back = 10 ** (-FRONT_TO_BACK_DB[band] / 10)
    k = EXPONENT[band] * (1 + 0.6 * math.sin(phi) ** 2)
    return back + (1 - back) * ((1 + math.cos(theta)) / 2) ** k


lines = [
    "Example two-way loudspeaker for the Tolveno example room",
    "Directivity balloon at 10 degree resolution: 18 meridian planes x 36 angles",
    "Values are intensities relative to the main axis",
    "Made by make_speaker.py",
    "Bands, 10",
]
for band, frequency in enumerate(FREQUENCIES):
    lines.append("Band, %d" % (band + 1))
    lines.append("Centre frequency %s Hz" % frequency)
    lines.append("Power, Lw, %g" % POWER_DB[band])
    lines.append("Rows: meridian planes from horizontal (0) toward up (170 degrees)")
    lines.append("Columns: angle from the main axis in 10 degree steps (0 to 350)")
    lines.append("Plane, Row, values")
    for row in range(18):
        values = ",".join("%.4f" % intensity(band, row, c) for c in range(36))
        lines.append("Plane %d, %d, %s" % (row * 10, row, values))
lines += [
    "EntityList",
    " Face 1 1 4  -0.01 -0.15 -0.2  -0.01 -0.15 0.2  -0.3 -0.15 0.2  -0.3 -0.15 -0.2",
    " Face 1 1 4  -0.01 0.15 -0.2  -0.3 0.15 -0.2  -0.3 0.15 0.2  -0.01 0.15 0.2",
    " Face 1 1 4  -0.01 -0.15 0.2  -0.01 0.15 0.2  -0.3 0.15 0.2  -0.3 -0.15 0.2",
    " Face 1 1 4  -0.01 -0.15 -0.2  -0.3 -0.15 -0.2  -0.3 0.15 -0.2  -0.01 0.15 -0.2",
    " Face 1 1 4  -0.3 -0.15 -0.2  -0.3 -0.15 0.2  -0.3 0.15 0.2  -0.3 0.15 -0.2",
    "End",
]
with open("speaker.spk", "w") as out:
    out.write("\n".join(lines) + "\n")
