#!/usr/bin/env python3
"""Writes the example designs examples/quad-preamp.json, examples/flat-3ch.json
and examples/quad-preamp-routed.json (the quad preamp with copper).

The output is deterministic: running the script again gives the same files.
Units are host database units (100000 per mm); angles tenths of a degree.
"""

import json
import math
import os
import random

MM = 100000
MIL100 = 254000  # 0.1 inch, the schematic raster

EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")


# --- output ---------------------------------------------------------------


def fits_on_one_line(value, depth=0):
    """Small arrays and flat records stay on one line, as the host writes them."""
    if isinstance(value, list):
        return depth < 3 and all(
            not isinstance(e, dict) and fits_on_one_line(e, depth + 1) for e in value)
    if isinstance(value, dict):
        return depth == 0 and all(
            not isinstance(m, dict) and fits_on_one_line(m, 1) for m in value.values())
    return True


def compact(value):
    if isinstance(value, list):
        return "[" + ", ".join(compact(e) for e in value) + "]"
    if isinstance(value, dict):
        return "{" + ", ".join(json.dumps(k) + ": " + compact(v) for k, v in value.items()) + "}"
    return json.dumps(value)


def pretty(value, indent=0):
    structured = isinstance(value, (list, dict))
    if not structured or not value or (indent > 0 and fits_on_one_line(value)):
        return compact(value)
    inner = " " * (indent + 2)
    if isinstance(value, dict):
        lines = [inner + json.dumps(k) + ": " + pretty(v, indent + 2) for k, v in value.items()]
        return "{\n" + ",\n".join(lines) + "\n" + " " * indent + "}"
    lines = [inner + pretty(e, indent + 2) for e in value]
    return "[\n" + ",\n".join(lines) + "\n" + " " * indent + "]"


def write(name, design):
    path = os.path.join(EXAMPLES, name)
    with open(path, "w", encoding="utf-8") as out:
        out.write(pretty(design) + "\n")
    print("wrote", os.path.normpath(path))


# --- building blocks --------------------------------------------------------


class Builder:
    """Collects nets, schematic components with their symbols, and PCB parts."""

    def __init__(self):
        self.nets = []
        self.components = []
        self.symbols = []
        self.pcb_components = []

    def net(self, name):
        if name is not None and all(n["name"] != name for n in self.nets):
            self.nets.append({"id": len(self.nets) + 1, "name": name})
        return name

    def component(self, refdes, comp_type, value, pattern, connection="normal", parts=1,
                  library="preamp.lib"):
        comp = {"refDes": refdes, "compType": comp_type, "value": value, "patternName": pattern,
                "libraryName": library}
        if connection != "normal":
            comp["connectionType"] = connection
        if parts != 1:
            comp["numberParts"] = parts
        comp["pins"] = []
        self.components.append(comp)
        return comp

    def symbol(self, comp, suffix, sheet, at, pins, half=(MIL100, MIL100), gate=1):
        """Draws one gate of comp at `at`; pins are (pinDes, pinName, net, (dx, dy))."""
        refdes = comp["refDes"] + suffix
        for pin_des, pin_name, net, (dx, dy) in pins:
            comp["pins"].append({"pinDes": pin_des, "pinName": pin_name, "gate": gate,
                                 "net": self.net(net), "at": [at[0] + dx, at[1] + dy]})
        self.symbols.append({"refDes": refdes, "sheet": sheet, "at": list(at),
                             "rect": [[at[0] - half[0], at[1] - half[1]],
                                      [at[0] + half[0], at[1] + half[1]]]})

    def place(self, comp, at, rotation=0, flipped=False, pad_nets=None):
        part = {key: comp[key] for key in
                ("refDes", "compType", "value", "patternName", "libraryName")}
        if "connectionType" in comp:
            part["connectionType"] = comp["connectionType"]
        part["at"] = [int(at[0]), int(at[1])]
        if rotation:
            part["rotation"] = rotation
        if flipped:
            part["flipped"] = True
        # Pads carry the nets of the schematic pins of the same designator.
        nets = pad_nets if pad_nets is not None else {
            p["pinDes"]: p["net"] for p in comp["pins"]
            if p["net"] is not None and p["pinDes"] not in ("", "(unused)")}
        part["nets"] = nets
        self.pcb_components.append(part)

    def design(self, sch_header, sch_grids, sheets, pcb_header, pcb_grids, outline, patterns):
        return {
            "format": "tandrel-design",
            "version": 1,
            "nets": self.nets,
            "schematic": {"header": sch_header, "grids": sch_grids, "sheets": sheets,
                          "components": self.components, "symbols": self.symbols},
            "pcb": {"header": pcb_header, "grids": pcb_grids, "boardOutline": outline,
                    "patterns": patterns, "components": self.pcb_components},
        }


def two_pin(b, comp, sheet, at, net1, net2, vertical=False):
    """A resistor or capacitor symbol with pins 1 and 2 one raster step off centre."""
    off = (0, MIL100) if vertical else (MIL100, 0)
    b.symbol(comp, "", sheet, at, [("1", "", net1, (-off[0], -off[1])),
                                   ("2", "", net2, off)],
             half=(MIL100 // 2, MIL100) if vertical else (MIL100, MIL100 // 2))


def power_symbol(b, refdes, net, sheet, at):
    comp = b.component(refdes, net, net, "", connection="power", library="power.lib")
    b.symbol(comp, "", sheet, at, [("1", net, net, (0, 0))], half=(MIL100 // 2, MIL100 // 2))


def rect(half_w, half_h):
    return [[-half_w, -half_h], [half_w, half_h]]


def two_pad(offset, size, outline):
    return {"pads": [{"pinDes": "1", "at": [-offset, 0], "size": size},
                     {"pinDes": "2", "at": [offset, 0], "size": size}],
            "outline": rect(*outline)}


def soic8():
    pads = []
    rows = [190500, 63500, -63500, -190500]
    for i, y in enumerate(rows):  # 1..4 down the left side
        pads.append({"pinDes": str(i + 1), "at": [-270000, y], "size": [155000, 60000]})
    for i, y in enumerate(reversed(rows)):  # 5..8 up the right side
        pads.append({"pinDes": str(i + 5), "at": [270000, y], "size": [155000, 60000]})
    return {"pads": pads, "outline": rect(350000, 250000)}


PATTERNS = {
    "R0603": two_pad(80000, [90000, 95000], (150000, 80000)),
    "C0805": two_pad(95000, [100000, 130000], (180000, 100000)),
    "SOIC8": soic8(),
    "JACK35": {"pads": [{"pinDes": "1", "at": [-300000, 0], "size": [180000, 180000]},
                        {"pinDes": "2", "at": [0, 250000], "size": [180000, 180000]},
                        {"pinDes": "3", "at": [300000, 0], "size": [180000, 180000]},
                        {"pinDes": "", "at": [0, -250000], "size": [220000, 220000]}],
               "outline": rect(600000, 450000)},
    "HDR3": {"pads": [{"pinDes": str(i + 1), "at": [0, (i - 1) * 254000], "size": [170000, 170000]}
                      for i in range(3)],
             "outline": rect(130000, 390000)},
    "NETTIE": two_pad(40000, [50000, 50000], (70000, 30000)),
}


def board(width_mm, height_mm):
    w, h = width_mm * MM, height_mm * MM
    return [[0, 0], [w, 0], [w, h], [0, h]]


def scattered(rng, width_mm, bottom_mm, top_mm):
    """A placement as parts land after import: anywhere between bottom_mm and
    top_mm (clear of the hand-placed channel), any quarter turn, either side."""
    at = (rng.randrange(8, width_mm - 8) * MM, rng.randrange(bottom_mm, top_mm) * MM)
    return at, rng.choice([0, 900, 1800, 2700]), rng.random() < 0.3


# --- the four-channel preamp -------------------------------------------------


def quad_preamp():
    b = Builder()
    for name in ("GND", "VCC", "VEE"):
        b.net(name)
    sheets = [{"id": 1, "name": "Top"}] + [
        {"id": c + 1, "name": "Channel%d" % c} for c in range(1, 5)]

    # Top sheet: power entry, power symbols, the ground sheet connector and a
    # net tie that joins analog and chassis ground on the board.
    j9 = b.component("J9", "HDR3", "PWR", "HDR3")
    b.symbol(j9, "", 1, (4 * MIL100, 20 * MIL100),
             [("1", "V+", "VCC", (MIL100, MIL100)), ("2", "0V", "GND", (MIL100, 0)),
              ("3", "V-", "VEE", (MIL100, -MIL100))], half=(MIL100, 2 * MIL100))
    power_symbol(b, "#PWR1", "VCC", 1, (8 * MIL100, 21 * MIL100))
    power_symbol(b, "#PWR2", "GND", 1, (8 * MIL100, 18 * MIL100))
    power_symbol(b, "#PWR3", "VEE", 1, (8 * MIL100, 15 * MIL100))
    connector = b.component("#SC1", "SHEETCONN", "GND", "", connection="sheet-connector",
                            library="power.lib")
    b.symbol(connector, "", 1, (12 * MIL100, 18 * MIL100), [("1", "GND", "GND", (0, 0))],
             half=(MIL100, MIL100 // 2))
    net_tie = b.component("NT1", "NETTIE", "", "NETTIE", connection="link")
    b.symbol(net_tie, "", 1, (12 * MIL100, 14 * MIL100),
             [("1", "", "GND", (-MIL100 // 2, 0)), ("2", "", "GND", (MIL100 // 2, 0))],
             half=(MIL100 // 2, MIL100 // 4))

    # One channel sheet drawn four times: the same symbols at the same places.
    channels = []
    for c in range(1, 5):
        sheet = c + 1
        n = {k: "%s%d" % (k, c) for k in ("IN", "INP", "FB", "MID", "OUT")}
        jack = b.component("J%d" % c, "JACK35", "IN", "JACK35")
        b.symbol(jack, "", sheet, (3 * MIL100, 10 * MIL100),
                 [("1", "TIP", n["IN"], (MIL100, 0)), ("2", "SLEEVE", "GND", (MIL100, -MIL100)),
                  ("3", "SWITCH", None, (MIL100, MIL100)),
                  ("(unused)", "SHIELD", None, (0, -MIL100))])
        c_in = b.component("C%d" % (2 * c - 1), "CAP", "1uF", "C0805")
        two_pin(b, c_in, sheet, (6 * MIL100, 10 * MIL100), n["IN"], n["INP"])
        r_bias = b.component("R%d" % (3 * c - 2), "RES", "100k", "R0603")
        two_pin(b, r_bias, sheet, (8 * MIL100, 8 * MIL100), n["INP"], "GND", vertical=True)
        amp = b.component("U%d" % c, "OPA2134", "OPA2134", "SOIC8", parts=2)
        b.symbol(amp, ":A", sheet, (12 * MIL100, 10 * MIL100),
                 [("3", "+IN A", n["INP"], (-2 * MIL100, MIL100)),
                  ("2", "-IN A", n["FB"], (-2 * MIL100, -MIL100)),
                  ("1", "OUT A", n["MID"], (2 * MIL100, 0)),
                  ("8", "V+", "VCC", (0, 2 * MIL100)),
                  ("4", "V-", "VEE", (0, -2 * MIL100))],
                 half=(2 * MIL100, 2 * MIL100), gate=1)
        b.symbol(amp, ":B", sheet, (20 * MIL100, 10 * MIL100),
                 [("5", "+IN B", n["MID"], (-2 * MIL100, MIL100)),
                  ("6", "-IN B", n["OUT"], (-2 * MIL100, -MIL100)),
                  ("7", "OUT B", n["OUT"], (2 * MIL100, 0))],
                 half=(2 * MIL100, 2 * MIL100), gate=2)
        r_fb = b.component("R%d" % (3 * c - 1), "RES", "10k", "R0603")
        two_pin(b, r_fb, sheet, (12 * MIL100, 6 * MIL100), n["FB"], n["MID"])
        r_gain = b.component("R%d" % (3 * c), "RES", "1k", "R0603")
        two_pin(b, r_gain, sheet, (9 * MIL100, 4 * MIL100), n["FB"], "GND", vertical=True)
        c_dec = b.component("C%d" % (2 * c), "CAP", "100nF", "C0805")
        two_pin(b, c_dec, sheet, (15 * MIL100, 14 * MIL100), "VCC", "GND", vertical=True)
        channels.append([jack, c_in, r_bias, amp, r_fb, r_gain, c_dec])

    # PCB: channel 1 laid out by hand in the lower left corner, leaving room for
    # a grid of copies to its right and above; the others where the import
    # dropped them, in the upper part of the board.
    width, height = 150, 110
    b.place(j9, (142 * MM, 100 * MM), rotation=900)
    b.place(net_tie, (142 * MM, 85 * MM))
    neat = [((0, 0), 0, False), ((8 * MM, 0), 0, False), ((8 * MM, -3 * MM), 900, False),
            ((16 * MM, 0), 0, False), ((16 * MM, 5 * MM), 0, False),
            ((16 * MM, -5 * MM), 1800, False), ((12 * MM, 4 * MM), 2700, True)]
    origin = (12 * MM, 14 * MM)
    for comp, (offset, rotation, flipped) in zip(channels[0], neat):
        b.place(comp, (origin[0] + offset[0], origin[1] + offset[1]), rotation, flipped)
    rng = random.Random(4)
    for channel in channels[1:]:
        for comp in channel:
            at, rotation, flipped = scattered(rng, width - 14, 75, height - 8)
            b.place(comp, at, rotation, flipped)

    grids = [{"id": 1, "spacing": "2.54mm"}, {"id": 2, "spacing": "1.27mm"}]
    pcb_grids = [{"id": 1, "spacing": "0.1mm"}, {"id": 2, "spacing": "1.27mm"},
                 {"id": 3, "spacing": "0.5mm"}]
    return b.design(
        {"designName": "quad-preamp", "absGridId": 1, "relGridId": 2, "gridAbsolute": False,
         "relGridOrigin": [MIL100 // 2, MIL100 // 2]},
        grids, sheets,
        {"designName": "quad-preamp", "workspace": [[0, 0], [width * MM, height * MM]],
         "absGridId": 1, "relGridId": 2, "gridAbsolute": False,
         "relGridOrigin": [5 * MM, 5 * MM]},
        pcb_grids, board(width, height),
        {k: PATTERNS[k] for k in ("HDR3", "NETTIE", "JACK35", "C0805", "R0603", "SOIC8")})


# --- the flat three-channel design -----------------------------------------


def flat_3ch():
    b = Builder()
    for name in ("GND", "VCC", "VEE"):
        b.net(name)
    power_symbol(b, "#PWR1", "VCC", 1, (2 * MIL100, 40 * MIL100))
    power_symbol(b, "#PWR2", "GND", 1, (4 * MIL100, 40 * MIL100))
    power_symbol(b, "#PWR3", "VEE", 1, (6 * MIL100, 40 * MIL100))

    channels = []
    for c in range(1, 4):
        y = (36 - 12 * (c - 1)) * MIL100  # channels drawn one below the other
        n = {k: "%s%d" % (k, c) for k in ("IN", "NODE", "OUT")}
        jack = b.component("J%d" % c, "JACK35", "IN", "JACK35")
        b.symbol(jack, "", 1, (3 * MIL100, y),
                 [("1", "TIP", n["IN"], (MIL100, 0)), ("2", "SLEEVE", "GND", (MIL100, -MIL100)),
                  ("3", "SWITCH", None, (MIL100, MIL100))])
        # Two equal resistors in parallel: either may take the other's place.
        r_a = b.component("R%d" % (3 * c - 2), "RES", "22k", "R0603")
        two_pin(b, r_a, 1, (7 * MIL100, y + MIL100), n["IN"], n["NODE"])
        r_b = b.component("R%d" % (3 * c - 1), "RES", "22k", "R0603")
        two_pin(b, r_b, 1, (7 * MIL100, y - MIL100), n["IN"], n["NODE"])
        c_filter = b.component("C%d" % c, "CAP", "1nF", "C0805")
        two_pin(b, c_filter, 1, (10 * MIL100, y - 2 * MIL100), n["NODE"], "GND", vertical=True)
        amp = b.component("U%d" % c, "OPA134", "OPA134", "SOIC8")
        b.symbol(amp, "", 1, (14 * MIL100, y),
                 [("3", "+IN", n["NODE"], (-2 * MIL100, MIL100)),
                  ("2", "-IN", n["OUT"], (-2 * MIL100, -MIL100)),
                  ("6", "OUT", n["OUT"], (2 * MIL100, 0)),
                  ("7", "V+", "VCC", (0, 2 * MIL100)), ("4", "V-", "VEE", (0, -2 * MIL100)),
                  ("1", "NULL", None, (-MIL100, -2 * MIL100)),
                  ("5", "NULL", None, (MIL100, -2 * MIL100)),
                  ("8", "NC", None, (MIL100, 2 * MIL100))],
                 half=(2 * MIL100, 2 * MIL100))
        r_out = b.component("R%d" % (3 * c), "RES", "100R", "R0603")
        two_pin(b, r_out, 1, (18 * MIL100, y), n["OUT"], "OUT%d_J" % c)
        out_jack = b.component("P%d" % c, "HDR3", "OUT", "HDR3")
        b.symbol(out_jack, "", 1, (21 * MIL100, y),
                 [("1", "SIG", "OUT%d_J" % c, (-MIL100, MIL100)),
                  ("2", "GND", "GND", (-MIL100, 0)), ("3", "", None, (-MIL100, -MIL100))],
                 half=(MIL100, 2 * MIL100))
        channels.append([jack, r_a, r_b, c_filter, amp, r_out, out_jack])

    width, height = 90, 60
    neat = [((0, 0), 0), ((7 * MM, 1 * MM), 0), ((7 * MM, -1 * MM), 0), ((11 * MM, -3 * MM), 900),
            ((16 * MM, 0), 0), ((22 * MM, 0), 0), ((28 * MM, 0), 2700)]
    for comp, (offset, rotation) in zip(channels[0], neat):
        b.place(comp, (10 * MM + offset[0], 48 * MM + offset[1]), rotation)
    rng = random.Random(3)
    for channel in channels[1:]:
        for comp in channel:
            at, rotation, flipped = scattered(rng, width, 8, 40)
            b.place(comp, at, rotation, flipped)

    sch_grids = [{"id": 1, "spacing": "2.54mm"}]
    pcb_grids = [{"id": 1, "spacing": "0.5mm"}, {"id": 2, "spacing": "0.1mm"}]
    return b.design(
        {"designName": "flat-3ch", "absGridId": 1, "relGridId": 1, "gridAbsolute": True},
        sch_grids, [{"id": 1, "name": "Main"}],
        {"designName": "flat-3ch", "workspace": [[0, 0], [width * MM, height * MM]],
         "absGridId": 1, "relGridId": 2, "gridAbsolute": True},
        pcb_grids, board(width, height),
        {k: PATTERNS[k] for k in ("JACK35", "R0603", "C0805", "SOIC8", "HDR3")})


# --- the quad preamp with copper ----------------------------------------------


def pad_positions(pcb, comp):
    """Absolute pad centres of a placed component, as the host computes them."""
    turn = math.radians(comp.get("rotation", 0) / 10)
    out = {}
    for pad in pcb["patterns"][comp["patternName"]]["pads"]:
        x, y = pad["at"]
        rx = round(x * math.cos(turn) - y * math.sin(turn))
        ry = round(x * math.sin(turn) + y * math.cos(turn))
        if comp.get("flipped", False):
            rx = -rx
        out[pad["pinDes"]] = (comp["at"][0] + rx, comp["at"][1] + ry)
    return out


def channel_of(net):
    """The channel a net belongs to: its name's digits (IN3, OUT2_J), or None."""
    digits = "".join(ch for ch in net if ch.isdigit())
    return int(digits) if digits else None


def routed(design):
    """The design with copper: each channel's signal nets chained pad to pad
    on the top, a via at every ground pad of a channel and a ground zone
    around each channel on the bottom."""
    pcb = design["pcb"]
    tracks, vias = [], []
    net_pads = {}
    extents = {}
    for comp in pcb["components"]:
        positions = pad_positions(pcb, comp)
        channels = {channel_of(n) for n in comp.get("nets", {}).values() if n} - {None}
        for pad, net in sorted(comp.get("nets", {}).items()):
            if net is None:
                continue
            point = positions[pad]
            net_pads.setdefault(net, []).append(point)
            if net == "GND" and channels:
                vias.append({"at": list(point), "diameter": 60000, "drill": 30000,
                             "layers": ["Top", "Bottom"], "net": "GND"})
        for channel in channels:
            for x, y in positions.values():
                box = extents.setdefault(channel, [x, y, x, y])
                box[:] = [min(box[0], x), min(box[1], y), max(box[2], x), max(box[3], y)]
    for net, points in sorted(net_pads.items()):
        if channel_of(net) is None:
            continue
        points.sort()
        for a, b in zip(points, points[1:]):
            tracks.append({"layer": "Top", "width": 25000, "start": list(a), "end": list(b),
                           "net": net})
    zones = []
    for channel, (x1, y1, x2, y2) in sorted(extents.items()):
        m = MM
        zones.append({"layers": ["Bottom"], "net": "GND", "outline": [
            [x1 - m, y1 - m], [x2 + m, y1 - m], [x2 + m, y2 + m], [x1 - m, y2 + m]]})
    design["version"] = 2
    pcb["tracks"] = tracks
    pcb["vias"] = vias
    pcb["zones"] = zones
    return design


if __name__ == "__main__":
    write("quad-preamp.json", quad_preamp())
    write("flat-3ch.json", flat_3ch())
    write("quad-preamp-routed.json", routed(quad_preamp()))
