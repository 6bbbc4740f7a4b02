#!/usr/bin/env python3
"""Writes the KiCad 8 example project examples/kicad/quad-opamp/.

quad-opamp: four channels of one circuit drawn once in channel.kicad_sch and
instantiated four times (CH1 .. CH4). Each channel is a non-inverting stage
and a follower built from one dual op-amp with a separate supply unit (U<k>01
units A, B and C), four resistors and two capacitors. On the board the parts
of channel 1 are placed in the lower left; the other channels are lined up
along the top, ready to be placed like channel 1.

Pins are joined by labels and power symbols placed on their ends, so the
schematic needs no wires. The output is deterministic: running the script
again gives the same files. Coordinates are KiCad millimetres, y down.
"""

import os
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
PROJECT = "quad-opamp"
CHANNELS = 4


def uid(*names):
    """A stable uuid for a named item."""
    return str(uuid.uuid5(uuid.NAMESPACE_URL, "tandrel-example/" + "/".join(names)))


def num(value):
    text = f"{value:.4f}".rstrip("0").rstrip(".")
    return "0" if text == "-0" else text


def q(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


FONT = "(effects (font (size 1.27 1.27)))"
HIDDEN = "(effects (font (size 1.27 1.27)) (hide yes))"

# --- library symbols (our own drawings, KiCad's layout) -------------------
#
# Pins: (number, name, type, x, y, angle, length, unit); y up, as in KiCad
# libraries. The pin's (x, y) is the end that connects.


def lib_symbol(lib_id, reference, value, body, pins, units=1, power=False, pin_numbers=True):
    name = lib_id.split(":")[1]
    out = [f"(symbol {q(lib_id)}"]
    if power:
        out.append(" (power)")
    if not pin_numbers:
        out.append(" (pin_numbers hide)")
    out.append(" (pin_names (offset 0))")
    out.append(" (exclude_from_sim no) (in_bom yes) (on_board yes)")
    out.append(f"\n      (property \"Reference\" {q(reference)} (at 0 5.08 0) {FONT if not power else HIDDEN})")
    out.append(f"\n      (property \"Value\" {q(value)} (at 0 -5.08 0) {FONT})")
    out.append(f"\n      (property \"Footprint\" \"\" (at 0 0 0) {HIDDEN})")
    out.append(f"\n      (property \"Datasheet\" \"~\" (at 0 0 0) {HIDDEN})")
    out.append(f"\n      (property \"Description\" \"\" (at 0 0 0) {HIDDEN})")
    for unit in range(0, units + 1):
        items = [b for (u, b) in body if u == unit]
        items += [pin_text(p) for p in pins if p[7] == unit]
        if items:
            out.append(f"\n      (symbol \"{name}_{unit}_1\"")
            for item in items:
                out.append("\n        " + item)
            out.append(")")
    out.append(")")
    return "".join(out)


def pin_text(pin):
    number, name, kind, x, y, angle, length, _ = pin
    hide = " hide" if length == 0 else ""  # the pin of a power symbol
    return (f"(pin {kind} line (at {num(x)} {num(y)} {angle}) (length {num(length)}){hide}"
            f" (name {q(name)} {FONT}) (number {q(number)} {FONT}))")


def rect(x1, y1, x2, y2):
    return (f"(rectangle (start {num(x1)} {num(y1)}) (end {num(x2)} {num(y2)})"
            " (stroke (width 0.254) (type default)) (fill (type none)))")


def poly(*points):
    pts = " ".join(f"(xy {num(x)} {num(y)})" for x, y in points)
    return f"(polyline (pts {pts}) (stroke (width 0.254) (type default)) (fill (type none)))"


TWO_PIN = [("1", "~", "passive", 0, 3.81, 270, 1.27, 1), ("2", "~", "passive", 0, -3.81, 90, 1.27, 1)]
CAP_PINS = [("1", "~", "passive", 0, 3.81, 270, 3.048, 1), ("2", "~", "passive", 0, -3.81, 90, 3.048, 1)]
OPAMP_PINS = [
    ("3", "+", "input", -7.62, 2.54, 0, 2.54, 1), ("2", "-", "input", -7.62, -2.54, 0, 2.54, 1),
    ("1", "~", "output", 7.62, 0, 180, 2.54, 1),
    ("5", "+", "input", -7.62, 2.54, 0, 2.54, 2), ("6", "-", "input", -7.62, -2.54, 0, 2.54, 2),
    ("7", "~", "output", 7.62, 0, 180, 2.54, 2),
    ("8", "V+", "power_in", -2.54, 7.62, 270, 3.81, 3), ("4", "V-", "power_in", -2.54, -7.62, 90, 3.81, 3)]


def connector_pins(count):
    return [(str(i), f"Pin_{i}", "passive", -5.08, -(i - 1) * 2.54, 0, 3.81, 1) for i in range(1, count + 1)]


RESISTOR = lib_symbol("tandrel:R", "R", "R", [(0, rect(-1.016, -2.54, 1.016, 2.54))], TWO_PIN,
                      pin_numbers=False)
CAPACITOR = lib_symbol("tandrel:C", "C", "C", [(0, poly((-2.032, 0.762), (2.032, 0.762))),
                                               (0, poly((-2.032, -0.762), (2.032, -0.762)))],
                       CAP_PINS, pin_numbers=False)
TRIANGLE = poly((-5.08, 5.08), (5.08, 0), (-5.08, -5.08), (-5.08, 5.08))
OPAMP = lib_symbol("tandrel:OPAMP_DUAL", "U", "OPAMP_DUAL",
                   [(1, TRIANGLE), (2, TRIANGLE), (3, rect(-5.08, 3.81, 0, -3.81))], OPAMP_PINS, units=3)


def connector(count):
    return lib_symbol(f"tandrel:Conn_01x{count:02d}", "J", f"Conn_01x{count:02d}",
                      [(1, rect(-1.27, 1.27, 1.27, -(count - 1) * 2.54 - 1.27))], connector_pins(count))


GROUND = lib_symbol("power:GND", "#PWR", "GND",
                    [(0, poly((0, 0), (0, -1.27), (1.27, -1.27), (0, -2.54), (-1.27, -1.27),
                              (0, -1.27)))],
                    [("1", "GND", "power_in", 0, 0, 270, 0, 1)], power=True)
SUPPLY = lib_symbol("power:+12V", "#PWR", "+12V",
                    [(0, poly((-0.762, 1.27), (0, 2.54), (0.762, 1.27), (0, 0)))],
                    [("1", "+12V", "power_in", 0, 0, 90, 0, 1)], power=True)
FLAG = lib_symbol("power:PWR_FLAG", "#FLG", "PWR_FLAG",
                  [(0, poly((0, 0), (0, 1.27), (-1.016, 1.905), (0, 2.54), (1.016, 1.905),
                            (0, 1.27)))],
                  [("1", "pwr", "power_out", 0, 0, 90, 0, 1)], power=True)

# lib id -> {(unit, pin number): (x, y) in library coordinates}
PIN_OFFSETS = {lib_id: {(p[7], p[0]): (p[3], p[4]) for p in pins}
               for lib_id, pins in [("tandrel:R", TWO_PIN), ("tandrel:C", CAP_PINS),
                                    ("tandrel:OPAMP_DUAL", OPAMP_PINS),
                                    ("tandrel:Conn_01x06", connector_pins(6)),
                                    ("tandrel:Conn_01x05", connector_pins(5))]}


def pin_end(lib_id, at, unit, number):
    """Where a pin of an unturned symbol ends on the sheet (y down)."""
    x, y = PIN_OFFSETS[lib_id][(unit, number)]
    return at[0] + x, at[1] - y


# --- schematic ------------------------------------------------------------

ROOT_UUID = uid("root")
CHANNEL_SHEETS = [uid("sheet", f"CH{k}") for k in range(1, CHANNELS + 1)]


def instances(paths):
    """KiCad 7+ per-instance data: [(sheet path, reference, unit)]."""
    rows = "".join(f"\n        (path {q(p)} (reference {q(r)}) (unit {u}))" for p, r, u in paths)
    return f"\n    (instances (project {q(PROJECT)}{rows}))"


def placed_symbol(lib_id, at, unit, key, reference, value, footprint, paths, hide_ref=False):
    fields = (f"\n    (property \"Reference\" {q(reference)} (at {num(at[0] + 2.54)} {num(at[1] - 1.27)} 0)"
              f" {HIDDEN if hide_ref else FONT})"
              f"\n    (property \"Value\" {q(value)} (at {num(at[0] + 2.54)} {num(at[1] + 1.27)} 0) {FONT})"
              f"\n    (property \"Footprint\" {q(footprint)} (at {num(at[0])} {num(at[1])} 0) {HIDDEN})"
              f"\n    (property \"Datasheet\" \"~\" (at {num(at[0])} {num(at[1])} 0) {HIDDEN})"
              f"\n    (property \"Description\" \"\" (at {num(at[0])} {num(at[1])} 0) {HIDDEN})")
    return (f"  (symbol (lib_id {q(lib_id)}) (at {num(at[0])} {num(at[1])} 0) (unit {unit})"
            f" (exclude_from_sim no) (in_bom yes) (on_board yes) (dnp no)"
            f"\n    (uuid {q(uid('symbol', key))}){fields}{instances(paths)})")


def label(kind, text, at, angle=0):
    direction = "output" if text == "OUT" else "input"
    shape = f" (shape {direction})" if kind == "hierarchical_label" else ""
    justify = "(justify left bottom)" if kind == "label" else "(justify right)"
    return (f"  ({kind} {q(text)}{shape} (at {num(at[0])} {num(at[1])} {angle})"
            f" (effects (font (size 1.27 1.27)) {justify}) (uuid {q(uid(kind, text, num(at[0]), num(at[1])))}))")


def schematic(body, lib_symbols, file_uuid, extra=""):
    return (f"(kicad_sch (version 20231120) (generator \"eeschema\") (generator_version \"8.0\")\n"
            f"  (uuid {q(file_uuid)})\n  (paper \"A4\")\n  (lib_symbols\n    "
            + "\n    ".join(lib_symbols) + ")\n" + "\n".join(body) + "\n" + extra + ")\n")


# The channel: (key, lib id, position, unit, reference number, value, footprint).
R0603 = "Resistor_SMD:R_0603_1608Metric"
C0603 = "Capacitor_SMD:C_0603_1608Metric"
SOIC8 = "Package_SO:SOIC-8_3.9x4.9mm_P1.27mm"
CHANNEL_PARTS = [
    ("R1", "tandrel:R", (60.96, 73.66), 1, "R{k}01", "1k", R0603),
    ("R2", "tandrel:R", (96.52, 63.5), 1, "R{k}02", "10k", R0603),
    ("R3", "tandrel:R", (81.28, 88.9), 1, "R{k}03", "1k", R0603),
    ("R4", "tandrel:R", (111.76, 73.66), 1, "R{k}04", "100", R0603),
    ("C1", "tandrel:C", (160.02, 111.76), 1, "C{k}01", "100n", C0603),
    ("C2", "tandrel:C", (129.54, 93.98), 1, "C{k}02", "10n", C0603),
    ("UA", "tandrel:OPAMP_DUAL", (88.9, 76.2), 1, "U{k}01", "OPAMP_DUAL", SOIC8),
    ("UB", "tandrel:OPAMP_DUAL", (134.62, 76.2), 2, "U{k}01", "OPAMP_DUAL", SOIC8),
    ("UC", "tandrel:OPAMP_DUAL", (139.7, 111.76), 3, "U{k}01", "OPAMP_DUAL", SOIC8),
]
# Nets of the channel: name -> [(part key, pin)]; IN and OUT leave the sheet.
CHANNEL_NETS = {
    "IN": [("R1", "1")],
    "P": [("R1", "2"), ("UA", "3")],
    "FB": [("R2", "2"), ("R3", "1"), ("UA", "2")],
    "AOUT": [("UA", "1"), ("R2", "1"), ("R4", "1")],
    "BIN": [("R4", "2"), ("UB", "5"), ("C2", "1")],
    "OUT": [("UB", "6"), ("UB", "7")],
    "GND": [("R3", "2"), ("C1", "2"), ("C2", "2"), ("UC", "4")],
    "+12V": [("UC", "8"), ("C1", "1")],
}


def channel_path(k):
    return f"/{ROOT_UUID}/{CHANNEL_SHEETS[k - 1]}"


def part_ends(parts, nets):
    by_key = {p[0]: p for p in parts}
    ends = {}
    for net, pins in nets.items():
        for key, number in pins:
            _, lib_id, at, unit, *_ = by_key[key]
            ends.setdefault(net, []).append(pin_end(lib_id, at, unit, number))
    return ends


def channel_schematic():
    body = []
    for key, lib_id, at, unit, ref, value, footprint in CHANNEL_PARTS:
        paths = [(channel_path(k), ref.format(k=k), unit) for k in range(1, CHANNELS + 1)]
        body.append(placed_symbol(lib_id, at, unit, "channel/" + key, ref.format(k="?"), value,
                                  footprint, paths))
    ends = part_ends(CHANNEL_PARTS, CHANNEL_NETS)
    counter = [0]

    def next_power(_):
        counter[0] += 1
        n = counter[0]
        return [(channel_path(k), f"#PWR{k}{n:02d}", 1) for k in range(1, CHANNELS + 1)]

    for net, points in ends.items():
        if net in ("GND", "+12V"):
            for i, point in enumerate(points, 1):
                lib_id = "power:GND" if net == "GND" else "power:+12V"
                body.append(placed_symbol(lib_id, point, 1, f"channel/{net}{i}", "#PWR?", net, "",
                                          next_power(i), hide_ref=True))
        elif net in ("IN", "OUT"):
            body += [label("hierarchical_label", net, point, 180) for point in points]
        else:
            body += [label("label", net, point) for point in points]
    return schematic(body, [RESISTOR, CAPACITOR, OPAMP, GROUND, SUPPLY], uid("channel"))


def sheet_block(k, at):
    x, y = at
    name = f"CH{k}"
    return (f"  (sheet (at {num(x)} {num(y)}) (size 20.32 10.16) (fields_autoplaced yes)"
            f" (stroke (width 0.1524) (type solid)) (fill (color 0 0 0 0.0000))"
            f"\n    (uuid {q(CHANNEL_SHEETS[k - 1])})"
            f"\n    (property \"Sheetname\" {q(name)} (at {num(x)} {num(y - 0.7)} 0)"
            f" (effects (font (size 1.27 1.27)) (justify left bottom)))"
            f"\n    (property \"Sheetfile\" \"channel.kicad_sch\" (at {num(x)} {num(y + 10.75)} 0)"
            f" (effects (font (size 1.27 1.27)) (justify left top)))"
            f"\n    (pin \"IN\" input (at {num(x)} {num(y + 5.08)} 180)"
            f" (effects (font (size 1.27 1.27)) (justify left)) (uuid {q(uid('pin', name, 'IN'))}))"
            f"\n    (pin \"OUT\" output (at {num(x + 20.32)} {num(y + 5.08)} 0)"
            f" (effects (font (size 1.27 1.27)) (justify right)) (uuid {q(uid('pin', name, 'OUT'))}))"
            f"\n    (instances (project {q(PROJECT)} (path {q('/' + ROOT_UUID)} (page {q(str(k + 1))})))))")


ROOT_PARTS = [
    ("J1", "tandrel:Conn_01x06", (30.48, 50.8), 1, "J1", "Conn_01x06",
     "Connector_PinHeader_2.54mm:PinHeader_1x06_P2.54mm_Vertical"),
    ("J2", "tandrel:Conn_01x05", (240.03, 50.8), 1, "J2", "Conn_01x05",
     "Connector_PinHeader_2.54mm:PinHeader_1x05_P2.54mm_Vertical"),
]
ROOT_NETS = {
    "+12V": [("J1", "1")], "GND": [("J1", "2"), ("J2", "5")],
    **{f"IN{k}": [("J1", str(k + 2))] for k in range(1, CHANNELS + 1)},
    **{f"OUT{k}": [("J2", str(k))] for k in range(1, CHANNELS + 1)},
}


def root_schematic():
    root = "/" + ROOT_UUID
    body = [placed_symbol(lib_id, at, unit, "root/" + key, ref, value, footprint, [(root, ref, unit)])
            for key, lib_id, at, unit, ref, value, footprint in ROOT_PARTS]
    power = 0
    for net, points in part_ends(ROOT_PARTS, ROOT_NETS).items():
        for point in points:
            if net in ("GND", "+12V"):
                power += 1
                lib_id = "power:GND" if net == "GND" else "power:+12V"
                body.append(placed_symbol(lib_id, point, 1, f"root/{net}{power}", f"#PWR0{power:02d}",
                                          net, "", [(root, f"#PWR0{power:02d}", 1)], hide_ref=True))
                body.append(placed_symbol("power:PWR_FLAG", point, 1, f"root/flag{power}",
                                          f"#FLG0{power:02d}", "PWR_FLAG", "",
                                          [(root, f"#FLG0{power:02d}", 1)], hide_ref=True))
            else:
                body.append(label("label", net, point))
    for k in range(1, CHANNELS + 1):
        at = (76.2 + (k - 1) * 40.64, 127.0)
        body.append(sheet_block(k, at))
        body.append(label("label", f"IN{k}", (at[0], at[1] + 5.08), 180))
        body.append(label("label", f"OUT{k}", (at[0] + 20.32, at[1] + 5.08)))
    extra = "  (sheet_instances (path \"/\" (page \"1\")))\n"
    return schematic(body, [connector(6), connector(5), GROUND, SUPPLY, FLAG], ROOT_UUID, extra)


# --- board ----------------------------------------------------------------

LAYERS = """  (layers
    (0 "F.Cu" signal) (31 "B.Cu" signal) (32 "B.Adhes" user "B.Adhesive")
    (33 "F.Adhes" user "F.Adhesive") (34 "B.Paste" user) (35 "F.Paste" user)
    (36 "B.SilkS" user "B.Silkscreen") (37 "F.SilkS" user "F.Silkscreen") (38 "B.Mask" user)
    (39 "F.Mask" user) (40 "Dwgs.User" user "User.Drawings") (41 "Cmts.User" user "User.Comments")
    (42 "Eco1.User" user "User.Eco1") (43 "Eco2.User" user "User.Eco2") (44 "Edge.Cuts" user)
    (45 "Margin" user) (46 "B.CrtYd" user "B.Courtyard") (47 "F.CrtYd" user "F.Courtyard")
    (48 "B.Fab" user) (49 "F.Fab" user))"""


def footprint_pads(footprint):
    """(number, kind, shape, x, y, w, h) of our simplified footprints."""
    if footprint.endswith("R_0603_1608Metric"):
        return [("1", "smd", "roundrect", -0.825, 0, 0.8, 0.95), ("2", "smd", "roundrect", 0.825, 0, 0.8, 0.95)]
    if footprint.endswith("C_0603_1608Metric"):
        return [("1", "smd", "roundrect", -0.775, 0, 0.9, 0.95), ("2", "smd", "roundrect", 0.775, 0, 0.9, 0.95)]
    if footprint.endswith("SOIC-8_3.9x4.9mm_P1.27mm"):
        left = [(str(i), "smd", "roundrect", -2.475, -1.905 + (i - 1) * 1.27, 1.95, 0.6) for i in range(1, 5)]
        right = [(str(i), "smd", "roundrect", 2.475, 1.905 - (i - 5) * 1.27, 1.95, 0.6) for i in range(5, 9)]
        return left + right
    count = int(footprint.split("1x0")[1][0])
    return [(str(i), "thru_hole", "rect" if i == 1 else "oval", 0, (i - 1) * 2.54, 1.7, 1.7)
            for i in range(1, count + 1)]


def courtyard(pads):
    xs = [p[3] - p[5] / 2 for p in pads] + [p[3] + p[5] / 2 for p in pads]
    ys = [p[4] - p[6] / 2 for p in pads] + [p[4] + p[6] / 2 for p in pads]
    return min(xs) - 0.25, min(ys) - 0.25, max(xs) + 0.25, max(ys) + 0.25


def board_footprint(ref, value, footprint, at, angle, pad_nets, path, sheet):
    pads = footprint_pads(footprint)
    x1, y1, x2, y2 = courtyard(pads)
    rot = f" {angle}" if angle else ""
    text_font = "(effects (font (size 1 1) (thickness 0.15)))"
    out = [f"  (footprint {q(footprint)} (layer \"F.Cu\")",
           f"    (uuid {q(uid('footprint', ref))})",
           f"    (at {num(at[0])} {num(at[1])}{rot})",
           f"    (property \"Reference\" {q(ref)} (at 0 {num(y1 - 0.8)}{rot}) (layer \"F.SilkS\")"
           f" (uuid {q(uid('fp-ref', ref))}) {text_font})",
           f"    (property \"Value\" {q(value)} (at 0 {num(y2 + 0.8)}{rot}) (layer \"F.Fab\")"
           f" (uuid {q(uid('fp-value', ref))}) {text_font})",
           f"    (property \"Footprint\" \"\" (at 0 0{rot}) (layer \"F.Fab\") (hide yes)"
           f" (uuid {q(uid('fp-fp', ref))}) {text_font})",
           f"    (path {q(path)})"]
    if sheet:
        out.append(f"    (sheetname {q(sheet)}) (sheetfile \"channel.kicad_sch\")")
    smd = pads[0][1] == "smd"
    out.append("    (attr smd)" if smd else "    (attr through_hole)")
    out.append(f"    (fp_rect (start {num(x1)} {num(y1)}) (end {num(x2)} {num(y2)})"
               f" (stroke (width 0.05) (type solid)) (fill none) (layer \"F.CrtYd\")"
               f" (uuid {q(uid('fp-court', ref))}))")
    for number, kind, shape, px, py, w, h in pads:
        layers = '"F.Cu" "F.Paste" "F.Mask"' if kind == "smd" else '"*.Cu" "*.Mask"'
        extra = " (roundrect_rratio 0.25)" if shape == "roundrect" else ""
        drill = " (drill 1)" if kind == "thru_hole" else ""
        net = pad_nets.get(number)
        net_text = f" (net {net[0]} {q(net[1])})" if net else ""
        out.append(f"    (pad {q(number)} {kind} {shape} (at {num(px)} {num(py)}{rot}) (size {num(w)} {num(h)})"
                   f"{drill} (layers {layers}){extra}{net_text} (pintype \"passive\")"
                   f" (uuid {q(uid('pad', ref, number))}))")
    out.append("  )")
    return "\n".join(out)


# Channel 1 as laid out by a designer: x, y, angle relative to the channel origin.
LAYOUT = {"UA": (6, 5, 0), "R1": (0, 3, 90), "R2": (6, 0.5, 0), "R3": (1.5, 7.5, 0),
          "R4": (11, 3, 90), "C1": (6, 9.5, 0), "C2": (13.5, 3, 90)}


def board():
    nets = ["GND", "+12V"]
    for k in range(1, CHANNELS + 1):
        nets += [f"/IN{k}", f"/OUT{k}"]
    for k in range(1, CHANNELS + 1):
        nets += [f"/CH{k}/{n}" for n in ("P", "FB", "AOUT", "BIN")]
    net_ids = {name: i for i, name in enumerate(nets, 1)}

    def channel_net(k, net):
        if net in ("GND", "+12V"):
            return net
        if net in ("IN", "OUT"):
            return f"/{net}{k}"
        return f"/CH{k}/{net}"

    footprints = []
    for k in range(1, CHANNELS + 1):
        pads_of = {}
        for net, pins in CHANNEL_NETS.items():
            name = channel_net(k, net)
            for key, number in pins:
                part = "UA" if key.startswith("U") else key
                pads_of.setdefault(part, {})[number] = (net_ids[name], name)
        for key, lib_id, at, unit, ref, value, footprint in CHANNEL_PARTS:
            if key in ("UB", "UC"):
                continue  # one footprint for the op-amp's three units
            if k == 1:
                dx, dy, angle = LAYOUT[key]
                position = (110 + dx, 115 + dy)
            else:
                index = [p[0] for p in CHANNEL_PARTS if p[0] not in ("UB", "UC")].index(key)
                position, angle = (125 + (k - 2) * 25 + (index % 4) * 5, 62 + (index // 4) * 8), 0
            symbol_key = "channel/" + key
            path = f"/{CHANNEL_SHEETS[k - 1]}/{uid('symbol', symbol_key)}"
            footprints.append(board_footprint(ref.format(k=k), value, footprint, position, angle,
                                              pads_of.get(key, {}), path, f"CH{k}"))
    root_pads = {}
    for net, pins in ROOT_NETS.items():
        name = net if net in ("GND", "+12V") else "/" + net
        for key, number in pins:
            root_pads.setdefault(key, {})[number] = (net_ids[name], name)
    for (key, _, _, _, ref, value, footprint), at in zip(ROOT_PARTS, [(104, 70), (196, 70)]):
        footprints.append(board_footprint(ref, value, footprint, at, 0, root_pads[key],
                                          f"/{uid('symbol', 'root/' + key)}", None))

    net_lines = "\n".join(f"  (net {i} {q(name)})" for name, i in [("", 0)] + list(net_ids.items()))
    edge = (f"  (gr_rect (start 100 55) (end 200 135) (stroke (width 0.1) (type default))"
            f" (fill none) (layer \"Edge.Cuts\") (uuid {q(uid('edge'))}))")
    return ("(kicad_pcb (version 20240108) (generator \"pcbnew\") (generator_version \"8.0\")\n"
            "  (general (thickness 1.6) (legacy_teardrops no))\n  (paper \"A4\")\n" + LAYERS + "\n"
            "  (setup (pad_to_mask_clearance 0) (allow_soldermask_bridges_in_footprints no))\n"
            + net_lines + "\n" + "\n".join(footprints) + "\n" + edge + "\n)\n")


def project():
    sheets = ",\n".join(f'    [\n      "{CHANNEL_SHEETS[k - 1]}",\n      "CH{k}"\n    ]'
                        for k in range(1, CHANNELS + 1))
    return ("{\n  \"meta\": {\n    \"filename\": \"quad-opamp.kicad_pro\",\n    \"version\": 1\n  },\n"
            "  \"sheets\": [\n    [\n      \"" + ROOT_UUID + "\",\n      \"Root\"\n    ],\n"
            + sheets + "\n  ]\n}\n")


def main():
    folder = os.path.join(HERE, PROJECT)
    os.makedirs(folder, exist_ok=True)
    files = {f"{PROJECT}.kicad_pro": project(), f"{PROJECT}.kicad_sch": root_schematic(),
             "channel.kicad_sch": channel_schematic(), f"{PROJECT}.kicad_pcb": board()}
    for name, text in files.items():
        with open(os.path.join(folder, name), "w", encoding="utf-8", newline="\n") as out:
            out.write(text)


if __name__ == "__main__":
    main()
