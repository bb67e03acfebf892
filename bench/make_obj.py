#!/usr/bin/env python3
"""Writes a CAD-style OBJ hall for timing tolveno-import: a 30 x 20 x 12 m
shoebox whose six surfaces are cut into triangles (as triangulating exporters
write them), with 40 tilted reflector panels (closed boxes of 12 triangles)
under the ceiling, about N triangles in all, four materials in groups, one
source point and ten receiver points. The output depends only on N.

    make_obj.py --faces 2000 -o hall.obj
"""
import argparse
import math


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--faces", type=int, default=2000)
    parser.add_argument("-o", "--output", required=True)
    args = parser.parse_args()
    vertices, groups = [], {}

    def vertex(p):
        vertices.append(p)
        return len(vertices)

    def quad(group, a, b, c, d):
        faces = groups.setdefault(group, [])
        faces.append((a, b, c))
        faces.append((a, c, d))

    def grid(group, origin, u, v, nu, nv):
        at = [[vertex(tuple(origin[k] + u[k] * i / nu + v[k] * j / nv for k in range(3)))
               for i in range(nu + 1)] for j in range(nv + 1)]
        for j in range(nv):
            for i in range(nu):
                quad(group, at[j][i], at[j][i + 1], at[j + 1][i + 1], at[j + 1][i])

    panels = 40
    tile = math.sqrt(2 * 2400 / max(args.faces - 12 * panels, 100))
    surfaces = [("Seats", (0, 0, 0), (0, 20, 0), (30, 0, 0)), ("Concrete", (0, 0, 12), (30, 0, 0), (0, 20, 0)),
                ("Plaster", (0, 0, 0), (30, 0, 0), (0, 0, 12)), ("Plaster", (0, 20, 0), (0, 0, 12), (30, 0, 0)),
                ("Plaster", (0, 0, 0), (0, 0, 12), (0, 20, 0)), ("Plaster", (30, 0, 0), (0, 20, 0), (0, 0, 12))]
    for group, origin, u, v in surfaces:
        grid(group, origin, u, v, max(1, round(math.hypot(*u) / tile)), max(1, round(math.hypot(*v) / tile)))
    for n in range(panels):
        x, y, tilt = 3 + (n % 8) * 3.2, 3 + (n // 8) * 3.2, 0.1 + 0.05 * (n % 5)
        corners = [vertex((x + dx, y + dy, 10 + dz + tilt * dx))
                   for dz in (0, 0.05) for dx, dy in ((0, 0), (2, 0), (2, 2), (0, 2))]
        a, b, c, d, e, f, g, h = corners
        for face in ((a, d, c, b), (e, f, g, h), (a, b, f, e), (b, c, g, f), (c, d, h, g), (d, a, e, h)):
            quad("Wood", *face)
    with open(args.output, "w") as out:
        for p in vertices:
            out.write("v %.6f %.6f %.6f\n" % p)
        for group, faces in groups.items():
            out.write("g %s\nusemtl %s\n" % (group, group))
            for face in faces:
                out.write("f %d %d %d\n" % face)
        out.write("g Source\nv 5 10 1.5\np %d\ng Receivers\n" % (len(vertices) + 1))
        for k in range(10):
            out.write("v %g %g 1.2\np %d\n" % (12 + 2 * (k % 5), 6 + 8 * (k // 5), len(vertices) + 2 + k))


if __name__ == "__main__":
    main()
