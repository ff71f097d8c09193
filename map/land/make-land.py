#!/usr/bin/env python3
# Makes the map's land, land-50m.bin, from Natural Earth's 1:50m land polygons (public domain) as
# the npm package world-atlas 2.0.2 ships them (land-50m.json, TopoJSON), and the summary the
# resource's test checks it against, land-50m.txt. Land and sea only: the package's countries
# are not read.
#   npm pack world-atlas@2.0.2 && tar xzf world-atlas-2.0.2.tgz
#   make-land.py package/land-50m.json land-50m.bin land-50m.txt
#
# The resource, little-endian:
#   "KMLLAND1"; four float64: scale x, scale y, translate x, translate y (a point is
#   translate + scale * its integer coordinates, in degrees); uint32 polygon count; per polygon
#   a varint ring count (the outer ring, then its holes), per ring a varint point count and the
#   points as zigzag varint deltas from the ring's previous point (the first from 0, 0). A ring
#   is not closed by repeating its first point.
import json
import struct
import sys

source, out_bin, out_summary = sys.argv[1:4]
topology = json.load(open(source, encoding="utf-8"))
(sx, sy), (tx, ty) = topology["transform"]["scale"], topology["transform"]["translate"]

# The arcs in absolute quantized coordinates.
arcs = []
for arc in topology["arcs"]:
    x = y = 0
    points = []
    for dx, dy in arc:
        x += dx
        y += dy
        points.append((x, y))
    arcs.append(points)


FULL_TURN = round(360 / sx)  # 360 degrees in quantized units: the package quantizes exactly
assert abs(FULL_TURN * sx - 360) < 1e-9


def ring_points(indexes):
    points = []
    for index in indexes:
        arc = arcs[index] if index >= 0 else arcs[~index][::-1]
        points.extend(arc if not points else arc[1:])
    if len(points) > 1 and points[0] == points[-1]:
        points.pop()
    return points


def planar(ring):
    """The ring on the plane of longitude and latitude, without a wrap; None for none.

    The package's rings are spherical: one that crosses the antimeridian steps from 180 to -180,
    and Antarctica's coast runs round the world and encloses the pole. Each step is taken the
    short way round, the ring then shifted by whole turns to start its westmost point within the
    world (its east may reach past 180); a ring that ends a full turn from its start is closed
    along the pole's edge. A ring along the pole alone, which the plane makes a line, is
    dropped."""
    if all(abs(ty + sy * y) > 89.9 for _, y in ring):
        return None
    out = [ring[0]]
    for x, y in ring[1:]:
        px = out[-1][0]
        while x - px > FULL_TURN / 2:
            x -= FULL_TURN
        while px - x > FULL_TURN / 2:
            x += FULL_TURN
        out.append((x, y))
    turns = round((ring[0][0] - out[-1][0]) / FULL_TURN)
    if turns:
        assert abs(turns) == 1 and all(ty + sy * y < 0 for _, y in ring), "only the south pole"
        out.append((out[-1][0], 0))
        out.append((out[0][0], 0))
    shift = -(min(x for x, _ in out) // FULL_TURN) * FULL_TURN
    return [(x + shift, y) for x, y in out]


polygons = []
for geometry in topology["objects"]["land"]["geometries"]:
    if geometry["type"] == "Polygon":
        shapes = [geometry["arcs"]]
    elif geometry["type"] == "MultiPolygon":
        shapes = geometry["arcs"]
    else:
        continue
    for shape in shapes:
        # The outer ring first; a polygon whose outer ring is no shape on the plane is dropped.
        rings = [planar(r) for r in (ring_points(r) for r in shape) if len(r) >= 3]
        if not rings or not rings[0]:
            continue
        rings = [r for r in rings if r]
        polygons.append(rings)
        # A polygon reaching past the world's east edge again a turn to the west, where the
        # edge cuts it too.
        if max(x for x, _ in rings[0]) > FULL_TURN:
            polygons.append([[(x - FULL_TURN, y) for x, y in r] for r in rings])


def varint(value):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        if value:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return bytes(out)


def zigzag(value):
    return (value << 1) if value >= 0 else ((-value << 1) - 1)


def signed_area(ring):
    # Shoelace area in square degrees, in double precision as the program computes it.
    area = 0.0
    n = len(ring)
    for i in range(n):
        x0, y0 = tx + sx * ring[i][0], ty + sy * ring[i][1]
        x1, y1 = tx + sx * ring[(i + 1) % n][0], ty + sy * ring[(i + 1) % n][1]
        area += x0 * y1 - x1 * y0
    return area / 2


data = bytearray(b"KMLLAND1")
data += struct.pack("<4d", sx, sy, tx, ty)
data += struct.pack("<I", len(polygons))
rings_total = points_total = 0
area_total = 0.0
for rings in polygons:
    data += varint(len(rings))
    outer = signed_area(rings[0])
    for i, ring in enumerate(rings):
        data += varint(len(ring))
        px = py = 0
        for x, y in ring:
            data += varint(zigzag(x - px)) + varint(zigzag(y - py))
            px, py = x, y
        rings_total += 1
        points_total += len(ring)
        # A hole takes its area from its polygon's, whichever way the rings run.
        area = abs(signed_area(ring))
        area_total += area if i == 0 else -area

open(out_bin, "wb").write(bytes(data))
with open(out_summary, "w", encoding="utf-8", newline="\n") as f:
    f.write("source world-atlas 2.0.2 land-50m.json (Natural Earth 1:50m land)\n")
    f.write(f"polygons {len(polygons)}\n")
    f.write(f"rings {rings_total}\n")
    f.write(f"points {points_total}\n")
    f.write(f"area {area_total:.6f}\n")
    f.write(f"bytes {len(data)}\n")
