#!/usr/bin/env python3
"""Writes benchmark models for tolveno: a model file, its materials, its settings
and an omnidirectional loudspeaker file, all beside each other.

    make_model.py room --faces N --receivers R [--openings] [--offset X Y Z] -o DIR/name
    make_model.py hall --receivers R [--offset X Y Z] -o DIR/name
    make_model.py town --faces N --receivers R [--offset X Y Z] -o DIR/name

room: a 20 x 15 x 8 m rectangular room whose six surfaces are cut into square
      tiles, as close to N tiles in total as a regular grid per surface allows
      (the exact count is printed on stdout). The floor, ceiling and walls have
      their own materials; every third wall tile is a diffusing panel.
hall: a fan-shaped concert hall of about 2,000 faces: splayed side walls cut
      into panels (not aligned with the axes), a stage, three stepped seating
      blocks, two tiers of side balconies, a rear balcony and tilted ceiling
      reflectors.
town: an open site: a ground square and a grid of blocks of buildings (four
      walls and a roof each, 12 m square, 6 to 30 m high, streets 10 m wide),
      about N faces in all, for the diffraction of sound over and around them.

Receivers form a regular grid at ear height (1.2 m) over the floor of the room
or over the seats of the hall, R points in all. The one source stands 1.5 m
high in the room (on the stage in the hall), aimed into the room. Every face
has flags 1 (obstructing). --offset moves the whole model, as a site plan in
national grid coordinates lies millions of metres from its origin. The output
depends only on the arguments.

Written beside DIR/name.ray: DIR/name.material, DIR/name.ini (Level 8,
Time 0.3 s; the benchmark overrides them with flags; Report 0, so that a run
times the tracing, not the parameter table and report) and DIR/bench-omni.spk:
a loudspeaker of ten bands at 100 dB radiating the same in every direction,
without a cabinet, so that tracing adds no faces and no loading warning.
"""
import argparse
import math
import os
import sys

SPEAKER = "bench-omni.spk"

# number, name, absorption (31.5 Hz .. 16 kHz), transmission loss (dB), scattering.
# Typical values for benchmarking, not measured data.
MATERIALS = [
    (1, "Plaster on masonry",
     [0.02, 0.02, 0.03, 0.03, 0.04, 0.05, 0.05, 0.06, 0.06, 0.06], [999.9] * 10,
     [0.05, 0.05, 0.05, 0.05, 0.08, 0.10, 0.15, 0.20, 0.25, 0.30]),
    (2, "Wood floor",
     [0.15, 0.15, 0.15, 0.11, 0.10, 0.07, 0.06, 0.07, 0.07, 0.07], [999.9] * 10,
     [0.05, 0.05, 0.05, 0.05, 0.05, 0.05, 0.10, 0.10, 0.15, 0.20]),
    (3, "Acoustic ceiling",
     [0.50, 0.55, 0.60, 0.66, 0.72, 0.90, 0.88, 0.75, 0.75, 0.75], [999.9] * 10,
     [0.10, 0.10, 0.10, 0.10, 0.15, 0.20, 0.25, 0.30, 0.35, 0.40]),
    (4, "Diffusing panel",
     [0.10, 0.12, 0.15, 0.15, 0.12, 0.10, 0.10, 0.10, 0.10, 0.10], [999.9] * 10,
     [0.10, 0.20, 0.30, 0.50, 0.70, 0.80, 0.80, 0.80, 0.80, 0.80]),
    (5, "Upholstered seats",
     [0.40, 0.45, 0.50, 0.64, 0.75, 0.80, 0.82, 0.83, 0.83, 0.83], [999.9] * 10,
     [0.30, 0.30, 0.30, 0.40, 0.50, 0.60, 0.70, 0.70, 0.70, 0.70]),
    (6, "Stage boards",
     [0.20, 0.20, 0.18, 0.12, 0.10, 0.08, 0.08, 0.08, 0.08, 0.08], [999.9] * 10,
     [0.05, 0.05, 0.05, 0.10, 0.10, 0.15, 0.20, 0.20, 0.25, 0.30]),
    (7, "Balcony front, panelled",
     [0.15, 0.15, 0.14, 0.10, 0.06, 0.08, 0.10, 0.10, 0.10, 0.10], [999.9] * 10,
     [0.10, 0.10, 0.15, 0.20, 0.30, 0.40, 0.50, 0.60, 0.60, 0.60]),
]


def number(v):
    text = "%.6f" % v
    text = text.rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


class Writer:
    # Added to every point written: a model placed as a site plan in national grid coordinates is.
    offset = (0, 0, 0)

    def __init__(self):
        self.lines = ["EntityList"]
        self.faces = 0
        self.receivers = 0

    def point(self, p):
        return " ".join(number(c + o) for c, o in zip(p, self.offset))

    def face(self, material, points, flags=1):
        coords = "  ".join(self.point(p) for p in points)
        self.lines.append(" Face %d %d %d  %s" % (flags, material, len(points), coords))
        self.faces += 1

    def wall(self, material, points, opening):
        """A wall tile with an opening in its middle half: a hole, or a door (opening "Door")."""
        centre = [sum(p[k] for p in points) / len(points) for k in range(3)]
        inner = [tuple(centre[k] + 0.5 * (p[k] - centre[k]) for k in range(3)) for p in points]
        coords = lambda ps: "  ".join(self.point(p) for p in ps)
        kind = "Hole 4 4" if opening == "Hole" else "Door 1 4"
        self.lines += [" Wall", "  Face 1 %d %d  %s" % (material, len(points), coords(points)),
                       "  %s %d  %s" % (kind, len(inner), coords(inner)), " End"]
        self.faces += 1

    def source(self, position, aim):
        self.lines.append(" Source %s  %s 0 %s" % (self.point(position), self.point(aim), SPEAKER))

    def receiver(self, position, aim):
        self.lines.append(" Receiver %s  %s" % (self.point(position), self.point(aim)))
        self.receivers += 1

    def text(self):
        return "\n".join(self.lines + ["End"]) + "\n"


def grid_points(count, x0, x1, y0, y1):
    """count points on a regular grid over the rectangle, filled row by row and spread evenly."""
    if count <= 0:
        return []
    if count == 1:
        return [((x0 + x1) / 2, (y0 + y1) / 2)]
    aspect = (x1 - x0) / (y1 - y0)
    nx = max(1, math.ceil(math.sqrt(count * aspect)))
    ny = math.ceil(count / nx)
    points = []
    for j in range(ny):
        for i in range(nx):
            if len(points) == count:
                return points
            x = x0 + (x1 - x0) * (i + 0.5) / nx
            y = y0 + (y1 - y0) * (j + 0.5) / ny
            points.append((x, y))
    return points


# ---------------------------------------------------------------- room

ROOM = (20.0, 15.0, 8.0)


def room_surfaces():
    """The six surfaces: (material, origin, u axis, u length, v axis, v length)."""
    lx, ly, lz = ROOM
    return [
        (2, (0, 0, 0), (0, 1, 0), ly, (1, 0, 0), lx),   # floor
        (3, (0, 0, lz), (1, 0, 0), lx, (0, 1, 0), ly),  # ceiling
        (1, (0, 0, 0), (1, 0, 0), lx, (0, 0, 1), lz),   # y = 0
        (1, (0, ly, 0), (0, 0, 1), lz, (1, 0, 0), lx),  # y = ly
        (1, (0, 0, 0), (0, 0, 1), lz, (0, 1, 0), ly),   # x = 0
        (1, (lx, 0, 0), (0, 1, 0), ly, (0, 0, 1), lz),  # x = lx
    ]


def room_divisions(target):
    """Tiles per surface (nu, nv) from the tile size whose total count is nearest the target."""
    best = None
    total_area = sum(s[3] * s[5] for s in room_surfaces())
    size0 = math.sqrt(total_area / target)
    for k in range(-300, 301):
        size = size0 * (1 + k / 1000.0)
        divisions = [(max(1, round(s[3] / size)), max(1, round(s[5] / size))) for s in room_surfaces()]
        count = sum(a * b for a, b in divisions)
        if best is None or abs(count - target) < abs(best[0] - target):
            best = (count, divisions)
    return best[1]


def make_room(faces, receivers, openings=False):
    out = Writer()
    tile = 0
    for (material, origin, u, ul, v, vl), (nu, nv) in zip(room_surfaces(), room_divisions(faces)):
        for i in range(nu):
            for j in range(nv):
                m = material
                if material == 1 and (i + 2 * j) % 3 == 0:
                    m = 4
                corners = []
                for a, b in ((i, j), (i + 1, j), (i + 1, j + 1), (i, j + 1)):
                    su, sv = ul * a / nu, vl * b / nv
                    corners.append(tuple(origin[k] + su * u[k] + sv * v[k] for k in range(3)))
                tile += 1
                if openings and material == 1 and tile % 5 == 0:
                    out.wall(m, corners, "Door" if tile % 10 == 0 else "Hole")
                else:
                    out.face(m, corners)
    lx, ly, _ = ROOM
    source = (lx / 4, ly / 2 + 0.37, 1.5)
    out.source(source, (lx / 2, ly / 2, 1.5))
    for x, y in grid_points(receivers, 1.0, lx - 1.0, 1.0, ly - 1.0):
        out.receiver((x, y, 1.2), (source[0], source[1], 1.2))
    return out


# ---------------------------------------------------------------- town

BLOCK = 12.0    # a building's footprint, square
STREET = 10.0   # the street between two buildings


def make_town(faces, receivers):
    out = Writer()
    per_side = max(1, round(math.sqrt((faces - 1) / 5)))
    pitch = BLOCK + STREET
    size = per_side * pitch + STREET
    out.face(2, [(0, 0, 0), (size, 0, 0), (size, size, 0), (0, size, 0)])
    for i in range(per_side):
        for j in range(per_side):
            x0, y0 = STREET + i * pitch, STREET + j * pitch
            x1, y1 = x0 + BLOCK, y0 + BLOCK
            h = 6.0 + 3.0 * ((5 * i + 3 * j) % 9)
            corners = [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]
            for k in range(4):
                (ax, ay), (bx, by) = corners[k], corners[(k + 1) % 4]
                out.face(1, [(ax, ay, 0), (bx, by, 0), (bx, by, h), (ax, ay, h)])
            out.face(3, [(x0, y0, h), (x0, y1, h), (x1, y1, h), (x1, y0, h)])
    # The source and the receivers stand in the streets, at the crossings.
    crossings = [(STREET / 2 + i * pitch, STREET / 2 + j * pitch) for j in range(per_side + 1) for i in range(per_side + 1)]
    sx, sy = crossings[0]
    out.source((sx, sy, 1.5), (size / 2, size / 2, 1.5))
    step = max(1, len(crossings) // max(1, receivers))
    for x, y in crossings[1::step][:receivers]:
        out.receiver((x, y, 1.5), (sx, sy, 1.5))
    return out


# ---------------------------------------------------------------- hall

HALL_LENGTH = 40.0   # x from the stage wall (0) to the rear wall
HALL_HEIGHT = 15.0
STAGE_DEPTH = 8.0
STAGE_HEIGHT = 1.0


def half_width(x):
    """The side walls splay from 10 m at the stage wall to 14 m at the rear: y = ±half_width(x)."""
    return 10.0 + 4.0 * x / HALL_LENGTH


def at(x, v, z):
    """The point at depth x, lateral fraction v (-1: right wall, +1: left wall) and height z."""
    return (x, v * half_width(x), z)


def quads_between(out, material, p, nu, nv):
    """A bilinear patch p(s, t), s, t in [0, 1], cut into nu x nv quadrilaterals (planar patches only)."""
    for i in range(nu):
        for j in range(nv):
            out.face(material, [p(i / nu, j / nv), p((i + 1) / nu, j / nv),
                                p((i + 1) / nu, (j + 1) / nv), p(i / nu, (j + 1) / nv)])


def make_hall(receivers):
    out = Writer()
    L, H = HALL_LENGTH, HALL_HEIGHT
    # Side walls: 2 m x 1.5 m panels, every third one diffusing.
    for side in (-1, 1):
        nu, nv = 20, 10
        for i in range(nu):
            for j in range(nv):
                x0, x1 = L * i / nu, L * (i + 1) / nu
                z0, z1 = H * j / nv, H * (j + 1) / nv
                m = 4 if (i + j) % 3 == 0 else 1
                pts = [at(x0, side, z0), at(x1, side, z0), at(x1, side, z1), at(x0, side, z1)]
                out.face(m, pts if side < 0 else pts[::-1])
    # Stage wall (x = 0) and rear wall (x = L).
    quads_between(out, 1, lambda s, t: at(0, -1 + 2 * s, H * t), 10, 10)
    quads_between(out, 3, lambda s, t: at(L, 1 - 2 * s, H * t), 14, 10)
    # Ceiling: 2 m squares of the trapezoid.
    quads_between(out, 1, lambda s, t: at(L * s, -1 + 2 * t, H), 20, 12)
    # Tilted ceiling reflectors over the stage front and the stalls: 3 x 4 panels, 10 degrees off horizontal.
    for i in range(3):
        for j in range(4):
            xc, yc, zc = 6.0 + 5.0 * i, -7.5 + 5.0 * j, 11.0
            dz = math.tan(math.radians(10)) * 1.5
            out.face(4, [(xc - 1.5, yc - 1.5, zc - dz), (xc + 1.5, yc - 1.5, zc + dz),
                         (xc + 1.5, yc + 1.5, zc + dz), (xc - 1.5, yc + 1.5, zc - dz)])
    # Stage: top, front riser; the stalls floor from the stage front to the rear wall.
    quads_between(out, 6, lambda s, t: at(STAGE_DEPTH * s, -1 + 2 * t, STAGE_HEIGHT), 4, 5)
    quads_between(out, 6, lambda s, t: at(STAGE_DEPTH, -1 + 2 * s, STAGE_HEIGHT * t), 5, 1)
    quads_between(out, 2, lambda s, t: at(STAGE_DEPTH + (L - STAGE_DEPTH) * s, -1 + 2 * t, 0), 16, 10)
    # Seating blocks: left, centre and right, 20 stepped rows each (rise 0.15 m, depth 0.9 m),
    # each row a tread and a riser cut into 4 seat groups, and the two side faces of the row.
    seats = []
    blocks = [(-0.92, -0.42), (-0.36, 0.36), (0.42, 0.92)]
    x_first = STAGE_DEPTH + 3.0
    rows, depth, rise = 20, 0.9, 0.15
    for v0, v1 in blocks:
        for r in range(rows):
            xa, xb = x_first + r * depth, x_first + (r + 1) * depth
            z0, z1 = r * rise, (r + 1) * rise
            quads_between(out, 5, lambda s, t: at(xa, v0 + (v1 - v0) * s, z0 + (z1 - z0) * t), 4, 1)
            quads_between(out, 5, lambda s, t: at(xa + (xb - xa) * s, v0 + (v1 - v0) * t, z1), 1, 4)
            for v in (v0, v1):
                out.face(5, [at(xa, v, 0), at(xb, v, 0), at(xb, v, z1), at(xa, v, z1)])
            for k in range(6):
                seats.append(at((xa + xb) / 2, v0 + (v1 - v0) * (k + 0.5) / 6, z1 + 1.2))
    # Side balconies: two tiers along both walls from x = 14 to 38, 3 m deep, in 2 m bays; each bay has an
    # underside, a 1.1 m front, two stepped rows (tread and riser) and, at both ends, a side face.
    for side in (-1, 1):
        for floor in (5.0, 9.5):
            bays = 12
            for b in range(bays):
                x0, x1 = 14.0 + 2.0 * b, 14.0 + 2.0 * (b + 1)

                def inner(x, d, z):
                    return (x, side * (half_width(x) - d), z)

                out.face(1, [inner(x0, 0, floor), inner(x1, 0, floor), inner(x1, 3, floor), inner(x0, 3, floor)])
                out.face(7, [inner(x0, 3, floor), inner(x1, 3, floor), inner(x1, 3, floor + 1.1),
                             inner(x0, 3, floor + 1.1)])
                for r, (d0, d1) in enumerate(((3.0, 1.5), (1.5, 0.0))):
                    ztop = floor + 0.2 + 0.4 * r
                    out.face(5, [inner(x0, d0, ztop), inner(x1, d0, ztop), inner(x1, d1, ztop), inner(x0, d1, ztop)])
                    if r == 1:
                        out.face(5, [inner(x0, d0, ztop - 0.4), inner(x1, d0, ztop - 0.4), inner(x1, d0, ztop),
                                     inner(x0, d0, ztop)])
                    seats.append(inner((x0 + x1) / 2, (d0 + d1) / 2, ztop + 1.2))
                if b in (0, bays - 1):
                    xe = x0 if b == 0 else x1
                    out.face(1, [inner(xe, 0, floor), inner(xe, 3, floor), inner(xe, 3, floor + 1.1),
                                 inner(xe, 0, floor + 1.1)])
    # Rear balcony: across the rear wall from x = 34 to L at 6 m, between the side balconies' inner edges,
    # 14 bays; underside, front, three stepped rows.
    for b in range(14):
        v0, v1 = -0.7 + 1.4 * b / 14, -0.7 + 1.4 * (b + 1) / 14
        z = 6.0
        out.face(1, [at(34, v0, z), at(34, v1, z), at(L, v1, z), at(L, v0, z)])
        out.face(7, [at(34, v0, z), at(34, v1, z), at(34, v1, z + 1.1), at(34, v0, z + 1.1)])
        for r in range(3):
            xa, xb = 34.0 + 2.0 * r, 34.0 + 2.0 * (r + 1)
            zt = z + 0.2 + 0.35 * r
            out.face(5, [at(xa, v0, zt), at(xa, v1, zt), at(xb, v1, zt), at(xb, v0, zt)])
            if r > 0:
                out.face(5, [at(xa, v0, zt - 0.35), at(xa, v1, zt - 0.35), at(xa, v1, zt), at(xa, v0, zt)])
            seats.append(at((xa + xb) / 2, (v0 + v1) / 2, zt + 1.2))
    # Wall panels behind the stage: a shell of 4 x 3 tilted panels, 3 degrees off the stage wall.
    for i in range(4):
        for j in range(3):
            y0, y1 = -8.0 + 4.0 * i, -8.0 + 4.0 * (i + 1)
            z0, z1 = 2.0 + 3.0 * j, 2.0 + 3.0 * (j + 1)
            lean = math.tan(math.radians(3))
            out.face(4, [(0.3 + lean * (z0 - 2), y0, z0), (0.3 + lean * (z0 - 2), y1, z0),
                         (0.3 + lean * (z1 - 2), y1, z1), (0.3 + lean * (z1 - 2), y0, z1)])
    source = (4.0, 0.37, STAGE_HEIGHT + 1.5)
    out.source(source, (20.0, 0.0, 2.5))
    if receivers > len(seats):
        sys.exit("the hall has %d seats: at most that many receivers" % len(seats))
    step = len(seats) / receivers if receivers else 1
    for k in range(receivers):
        x, y, z = seats[int(k * step)]
        out.receiver((x, y, z), (source[0], source[1], z))
    return out


# ---------------------------------------------------------------- files

def material_text():
    lines = ["Materials of a generated benchmark model: number and name, then ten absorption coefficients",
             "(31.5 Hz to 16 kHz), ten transmission losses in dB (999.9: none) and ten scattering coefficients.",
             "Typical values for benchmarking, not measured data."]
    for n, name, alpha, loss, scattering in MATERIALS:
        lines.append("%d %s, %s, %s, %s" % (n, name, " ".join("%.2f" % a for a in alpha),
                                            " ".join("%g" % t for t in loss),
                                            " ".join("%.2f" % s for s in scattering)))
    return "\n".join(lines) + "\n"


def speaker_text():
    frequencies = ["31.5", "63", "125", "250", "500", "1000", "2000", "4000", "8000", "16000"]
    lines = ["Omnidirectional loudspeaker of the tolveno benchmarks",
             "Directivity balloon at 10 degree resolution: 18 meridian planes x 36 angles",
             "Every value 1: the same intensity in every direction",
             "Made by bench/make_model.py",
             "Bands, 10"]
    for band, frequency in enumerate(frequencies):
        lines.append("Band, %d" % (band + 1))
        lines.append("Centre frequency %s Hz" % frequency)
        lines.append("Power, Lw, 100")
        lines.append("Rows: meridian planes from horizontal (0) toward up (170 degrees)")
        lines.append("Columns: angle from the main axis in 10 degree steps (0 to 350)")
        lines.append("Plane, Row, values")
        for row in range(18):
            lines.append("Plane %d, %d, %s" % (row * 10, row, ",".join(["1.0000"] * 36)))
    return "\n".join(lines) + "\n"


SETTINGS = """[Parameters]
Level = 8
Time = 0.3
Precision = 0.001
History = -1
Humidity = 50
Temperature = 20
SaveAll = 0
Diffraction = 0
HitLevel = -1
RandomizeAfter = -1
SaveEscaped = 0
Diffusion = 0
DiffusionMode = 7
CloneLevel = -1
OpenMP = 1
Report = 0
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("kind", choices=["room", "hall", "town"])
    parser.add_argument("--faces", type=int, default=1000, help="room: the number of faces to aim at")
    parser.add_argument("--receivers", type=int, default=10)
    parser.add_argument("--openings", action="store_true",
                        help="room: every fifth wall tile a wall with a hole or a door in its middle")
    parser.add_argument("--offset", type=float, nargs=3, default=(0, 0, 0), metavar=("X", "Y", "Z"),
                        help="moves the whole model by this many metres (a site plan in grid coordinates)")
    parser.add_argument("-o", "--output", required=True, help="the model file to write (.ray added)")
    args = parser.parse_args()
    Writer.offset = tuple(args.offset)
    if args.faces < 6:
        sys.exit("a room has at least 6 faces")
    if args.kind == "room":
        model = make_room(args.faces, args.receivers, args.openings)
    else:
        model = make_town(args.faces, args.receivers) if args.kind == "town" else make_hall(args.receivers)
    base = args.output[:-4] if args.output.endswith(".ray") else args.output
    folder = os.path.dirname(base) or "."
    os.makedirs(folder, exist_ok=True)
    for path, text in ((base + ".ray", model.text()), (base + ".material", material_text()),
                       (base + ".ini", SETTINGS), (os.path.join(folder, SPEAKER), speaker_text())):
        with open(path, "w") as out:
            out.write(text)
    print("%s.ray: %d faces, %d receivers" % (base, model.faces, model.receivers))


if __name__ == "__main__":
    main()
