#!/usr/bin/env python3
"""Writes the KiCad example projects under examples/kicad/.

quad-opamp (KiCad 8): four channels of one circuit drawn once in
channel.kicad_sch and instantiated four times (CH1 .. CH4). Each channel is a
non-inverting stage and a follower built from one dual op-amp with a separate
supply unit (U<k>01 units A, B and C), four resistors and two capacitors.

duo-kicad6 (KiCad 6): two instances (StageL, StageR) of a filter stage with
turned and mirrored symbols, references kept in the root file's
symbol_instances table as KiCad 6 did.

On each board the parts of the first instance are placed in the lower left;
the other instances wait in rows along the top, ready to be placed like the
first. Pins are joined by labels and power symbols placed on their ends, so
the schematics need no wires. The output is deterministic: running the script
again gives the same files. Coordinates are KiCad millimetres, y down.
"""

import os
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))


def uid(*names):
    """A stable uuid for a named item."""
    return str(uuid.uuid5(uuid.NAMESPACE_URL, "tandrel-example/" + "/".join(names)))


def num(value):
    text = f"{value:.4f}".rstrip("0").rstrip(".")
    return "0" if text == "-0" else text


def q(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


FONT = "(effects (font (size 1.27 1.27)))"


class Format:
    """What differs between the file formats of KiCad 6 and KiCad 8."""

    def __init__(self, kicad):
        self.kicad = kicad
        self.hidden = "(effects (font (size 1.27 1.27)) " + ("hide)" if kicad == 6 else "(hide yes))")

    def uuid(self, key):
        """KiCad 6 writes uuids bare, KiCad 8 quoted."""
        text = uid(key)
        return text if self.kicad == 6 else q(text)

    def field_id(self, n):
        return f" (id {n})" if self.kicad == 6 else ""

    def sch_header(self):
        if self.kicad == 6:
            return "(kicad_sch (version 20211123) (generator eeschema)\n"
        return '(kicad_sch (version 20231120) (generator "eeschema") (generator_version "8.0")\n'

    def pcb_header(self):
        if self.kicad == 6:
            return "(kicad_pcb (version 20211014) (generator pcbnew)\n  (general (thickness 1.6))\n"
        return ('(kicad_pcb (version 20240108) (generator "pcbnew") (generator_version "8.0")\n'
                "  (general (thickness 1.6) (legacy_teardrops no))\n")


# --- library symbols (our own drawings, KiCad's layout) -------------------
#
# Pins: (number, name, type, x, y, angle, length, unit); y up, as in KiCad
# libraries. The pin's (x, y) is the end that connects.


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


class LibSymbol:
    def __init__(self, lib_id, reference, body, pins, units=1, power=False, pin_numbers=True):
        self.lib_id, self.reference, self.body, self.pins = lib_id, reference, body, pins
        self.units, self.power, self.pin_numbers = units, power, pin_numbers

    def text(self, fmt):
        name = self.lib_id.split(":")[1]
        flags = " (in_bom yes) (on_board yes)"
        if fmt.kicad == 8:
            flags = " (exclude_from_sim no)" + flags
        out = [f"(symbol {q(self.lib_id)}", " (power)" if self.power else "",
               "" if self.pin_numbers else " (pin_numbers hide)", " (pin_names (offset 0))", flags]
        fields = [("Reference", self.reference), ("Value", name), ("Footprint", ""),
                  ("Datasheet", "~")] + ([("Description", "")] if fmt.kicad == 8 else [])
        for i, (key, value) in enumerate(fields):
            shown = FONT if key == "Value" or (key == "Reference" and not self.power) else fmt.hidden
            out.append(f"\n      (property {q(key)} {q(value)}{fmt.field_id(i)} (at 0 0 0) {shown})")
        for unit in range(0, self.units + 1):
            items = [b for (u, b) in self.body if u == unit]
            items += [pin_text(p) for p in self.pins if p[7] == unit]
            if items:
                out.append(f"\n      (symbol \"{name}_{unit}_1\"")
                out += ["\n        " + item for item in items]
                out.append(")")
        out.append(")")
        return "".join(out)

    def pin_offset(self, unit, number):
        for pin in self.pins:
            if pin[7] == unit and pin[0] == number:
                return pin[3], pin[4]
        raise KeyError(f"{self.lib_id} has no pin {number} in unit {unit}")


def connector_pins(count):
    return [(str(i), f"Pin_{i}", "passive", -5.08, -(i - 1) * 2.54, 0, 3.81, 1)
            for i in range(1, count + 1)]


TRIANGLE = poly((-5.08, 5.08), (5.08, 0), (-5.08, -5.08), (-5.08, 5.08))
SYMBOLS = {s.lib_id: s for s in [
    LibSymbol("tandrel:R", "R", [(0, rect(-1.016, -2.54, 1.016, 2.54))],
              [("1", "~", "passive", 0, 3.81, 270, 1.27, 1), ("2", "~", "passive", 0, -3.81, 90, 1.27, 1)],
              pin_numbers=False),
    LibSymbol("tandrel:C", "C", [(0, poly((-2.032, 0.762), (2.032, 0.762))),
                                 (0, poly((-2.032, -0.762), (2.032, -0.762)))],
              [("1", "~", "passive", 0, 3.81, 270, 3.048, 1), ("2", "~", "passive", 0, -3.81, 90, 3.048, 1)],
              pin_numbers=False),
    LibSymbol("tandrel:OPAMP_DUAL", "U", [(1, TRIANGLE), (2, TRIANGLE), (3, rect(-5.08, 3.81, 0, -3.81))],
              [("3", "+", "input", -7.62, 2.54, 0, 2.54, 1), ("2", "-", "input", -7.62, -2.54, 0, 2.54, 1),
               ("1", "~", "output", 7.62, 0, 180, 2.54, 1),
               ("5", "+", "input", -7.62, 2.54, 0, 2.54, 2), ("6", "-", "input", -7.62, -2.54, 0, 2.54, 2),
               ("7", "~", "output", 7.62, 0, 180, 2.54, 2),
               ("8", "V+", "power_in", -2.54, 7.62, 270, 3.81, 3),
               ("4", "V-", "power_in", -2.54, -7.62, 90, 3.81, 3)], units=3),
    LibSymbol("tandrel:Conn_01x05", "J", [(1, rect(-1.27, 1.27, 1.27, -11.43))], connector_pins(5)),
    LibSymbol("tandrel:Conn_01x06", "J", [(1, rect(-1.27, 1.27, 1.27, -13.97))], connector_pins(6)),
    LibSymbol("power:GND", "#PWR",
              [(0, poly((0, 0), (0, -1.27), (1.27, -1.27), (0, -2.54), (-1.27, -1.27), (0, -1.27)))],
              [("1", "GND", "power_in", 0, 0, 270, 0, 1)], power=True),
    LibSymbol("power:+12V", "#PWR", [(0, poly((-0.762, 1.27), (0, 2.54), (0.762, 1.27), (0, 0)))],
              [("1", "+12V", "power_in", 0, 0, 90, 0, 1)], power=True),
    LibSymbol("power:PWR_FLAG", "#FLG",
              [(0, poly((0, 0), (0, 1.27), (-1.016, 1.905), (0, 2.54), (1.016, 1.905), (0, 1.27)))],
              [("1", "pwr", "power_out", 0, 0, 90, 0, 1)], power=True),
]}
POWER = ("GND", "+12V")


class Part:
    """A placed symbol unit: where it stands and what it becomes per instance."""

    def __init__(self, key, lib_id, at, unit, reference, value, footprint, angle=0, mirror=None):
        self.key, self.lib_id, self.at, self.unit = key, lib_id, at, unit
        self.reference, self.value, self.footprint = reference, value, footprint
        self.angle, self.mirror = angle, mirror

    def pin_end(self, number):
        """Where a pin ends on the sheet: KiCad turns the drawing, then mirrors it."""
        x, y = SYMBOLS[self.lib_id].pin_offset(self.unit, number)
        for _ in range(self.angle // 90):
            x, y = -y, x
        if self.mirror == "x":
            y = -y
        elif self.mirror == "y":
            x = -x
        return self.at[0] + x, self.at[1] - y


# --- schematic ------------------------------------------------------------


class Schematic:
    """One sheet file; body lines and the per-instance references of its symbols."""

    def __init__(self, fmt, project, key):
        self.fmt, self.project, self.key = fmt, project, key
        self.body = []

    def symbol(self, part, key, reference, instance_rows, hide_reference=False):
        """instance_rows: [(KiCad 7+ sheet path, KiCad 6 path prefix, reference, unit)]."""
        fmt, (x, y) = self.fmt, part.at
        mirror = f" (mirror {part.mirror})" if part.mirror else ""
        flags = " (in_bom yes) (on_board yes)"
        if fmt.kicad == 8:
            flags = " (exclude_from_sim no)" + flags + " (dnp no)"
        fields = [("Reference", reference), ("Value", part.value), ("Footprint", part.footprint),
                  ("Datasheet", "~")]
        text = [f"  (symbol (lib_id {q(part.lib_id)}) (at {num(x)} {num(y)} {part.angle}){mirror}"
                f" (unit {part.unit}){flags}\n    (uuid {fmt.uuid('symbol/' + key)})"]
        for i, (name, value) in enumerate(fields):
            shown = FONT if name == "Value" or (name == "Reference" and not hide_reference) else fmt.hidden
            text.append(f"\n    (property {q(name)} {q(value)}{fmt.field_id(i)}"
                        f" (at {num(x + 2.54)} {num(y + 1.27 * i)} 0) {shown})")
        if fmt.kicad == 8:
            rows = "".join(f"\n        (path {q(path)} (reference {q(ref)}) (unit {unit}))"
                           for path, _, ref, unit in instance_rows)
            text.append(f"\n    (instances (project {q(self.project.name)}{rows}))")
        else:
            self.project.symbol_instances += [
                (f"{prefix}/{uid('symbol/' + key)}", ref, unit, part.value, part.footprint)
                for _, prefix, ref, unit in instance_rows]
        self.body.append("".join(text) + ")")

    def label(self, kind, text, at, angle=0):
        shape = f" (shape {'output' if text == 'OUT' else 'input'})" if kind == "hierarchical_label" else ""
        justify = "(justify left bottom)" if kind == "label" else "(justify right)"
        self.body.append(f"  ({kind} {q(text)}{shape} (at {num(at[0])} {num(at[1])} {angle})"
                         f" (effects (font (size 1.27 1.27)) {justify})"
                         f" (uuid {self.fmt.uuid(f'{self.key}/{kind}/{text}/{num(at[0])}/{num(at[1])}')}))")

    def text(self, extra=""):
        used = sorted({line.split('(lib_id "')[1].split('"')[0] for line in self.body if "(lib_id" in line})
        return (self.fmt.sch_header() + f"  (uuid {self.fmt.uuid(self.key)})\n  (paper \"A4\")\n"
                "  (lib_symbols\n    " + "\n    ".join(SYMBOLS[s].text(self.fmt) for s in used) + ")\n"
                + "\n".join(self.body) + "\n" + extra + ")\n")


class Project:
    def __init__(self, name, kicad, sheet_file, instances, parts, nets, connectors, layout):
        """instances: sheet names; parts: the Parts of the sheet file, their references with
        {k} for the instance number; nets: name -> [(part key, pin)], IN and OUT leaving the
        sheet; connectors: the root's (connector Part, net -> [pins], place on the board),
        where the sheets' ports are the nets IN<tag> and OUT<tag>, tag the last letter of the
        sheet's name; layout: the first instance's placement."""
        self.name, self.fmt, self.sheet_file = name, Format(kicad), sheet_file
        self.instances, self.parts, self.nets = instances, parts, nets
        self.connectors, self.layout = connectors, layout
        self.root_key = name + "/root"
        self.symbol_instances = []

    def sheet_uuid(self, k):
        return uid(f"{self.name}/sheet/{self.instances[k - 1]}")

    def tag(self, k):
        return self.instances[k - 1][-1]

    def instance_rows(self, make_reference, unit=1):
        return [(f"/{uid(self.root_key)}/{self.sheet_uuid(k)}", f"/{self.sheet_uuid(k)}",
                 make_reference(k), unit) for k in range(1, len(self.instances) + 1)]

    def sheet_schematic(self):
        sheet = Schematic(self.fmt, self, f"{self.name}/{self.sheet_file}")
        for part in self.parts:
            sheet.symbol(part, f"{self.name}/{part.key}", part.reference.format(k="?"),
                         self.instance_rows(lambda k, p=part: p.reference.format(k=k), part.unit))
        by_key = {p.key: p for p in self.parts}
        power = 0
        for net, pins in self.nets.items():
            for key, number in pins:
                end = by_key[key].pin_end(number)
                if net in POWER:
                    power += 1
                    symbol = Part(f"power{power}", f"power:{net}", end, 1, "", net, "")
                    sheet.symbol(symbol, f"{self.name}/power{power}", "#PWR?",
                                 self.instance_rows(lambda k, n=power: f"#PWR{k}{n:02d}"), True)
                elif net in ("IN", "OUT"):
                    sheet.label("hierarchical_label", net, end, 180 if net == "IN" else 0)
                else:
                    sheet.label("label", net, end)
        return sheet.text()

    def root_pin(self, root, end, net, power):
        """A label or, for a supply, a power symbol and a power flag on a connector pin."""
        if net not in POWER:
            root.label("label", net, end)
            return power
        for lib_id, prefix in ((f"power:{net}", "#PWR"), ("power:PWR_FLAG", "#FLG")):
            power += 1
            reference = f"{prefix}0{power:02d}"
            root.symbol(Part(reference, lib_id, end, 1, "", lib_id.split(":")[1], ""),
                        f"{self.name}/{reference}", reference,
                        [(f"/{uid(self.root_key)}", "", reference, 1)], True)
        return power

    def root_schematic(self):
        fmt = self.fmt
        root = Schematic(fmt, self, self.root_key)
        power = 0
        for connector, root_nets, _ in self.connectors:
            rows = [(f"/{uid(self.root_key)}", "", connector.reference, 1)]
            root.symbol(connector, f"{self.name}/{connector.key}", connector.reference, rows)
            for net, numbers in root_nets.items():
                for number in numbers:
                    power = self.root_pin(root, connector.pin_end(number), net, power)
        for k, name in enumerate(self.instances, 1):
            x, y = 76.2 + (k - 1) * 40.64, 127.0
            names = ('"Sheet name"', '"Sheet file"') if fmt.kicad == 6 else ('"Sheetname"', '"Sheetfile"')
            instances = ("" if fmt.kicad == 6 else
                         f"\n    (instances (project {q(self.name)} (path {q('/' + uid(self.root_key))}"
                         f" (page {q(str(k + 1))}))))")
            root.body.append(
                f"  (sheet (at {num(x)} {num(y)}) (size 20.32 10.16) (fields_autoplaced)"
                f" (stroke (width 0.1524) (type solid)) (fill (color 0 0 0 0.0000))"
                f"\n    (uuid {fmt.uuid(f'{self.name}/sheet/{name}')})"
                f"\n    (property {names[0]} {q(name)}{fmt.field_id(0)} (at {num(x)} {num(y - 0.7)} 0)"
                f" (effects (font (size 1.27 1.27)) (justify left bottom)))"
                f"\n    (property {names[1]} {q(self.sheet_file)}{fmt.field_id(1)} (at {num(x)} {num(y + 10.75)} 0)"
                f" (effects (font (size 1.27 1.27)) (justify left top)))"
                f"\n    (pin \"IN\" input (at {num(x)} {num(y + 5.08)} 180) (effects (font (size 1.27 1.27))"
                f" (justify left)) (uuid {fmt.uuid(f'{self.name}/pin/{name}/IN')}))"
                f"\n    (pin \"OUT\" output (at {num(x + 20.32)} {num(y + 5.08)} 0) (effects (font (size 1.27 1.27))"
                f" (justify right)) (uuid {fmt.uuid(f'{self.name}/pin/{name}/OUT')})){instances})")
            root.label("label", f"IN{self.tag(k)}", (x, y + 5.08), 180)
            root.label("label", f"OUT{self.tag(k)}", (x + 20.32, y + 5.08))
        # Written last: the sheets' symbols have added their rows by now.
        if fmt.kicad == 6:
            pages = "".join(f" (path \"/{self.sheet_uuid(k)}/\" (page \"{k + 1}\"))"
                            for k in range(1, len(self.instances) + 1))
            extra = f"  (sheet_instances (path \"/\" (page \"1\")){pages})\n  (symbol_instances"
            extra += "".join(f"\n    (path {q(path)} (reference {q(ref)}) (unit {unit}) (value {q(value)})"
                             f" (footprint {q(footprint)}))"
                             for path, ref, unit, value, footprint in sorted(self.symbol_instances))
            extra += ")\n"
        else:
            extra = "  (sheet_instances (path \"/\" (page \"1\")))\n"
        return root.text(extra)

    # --- board ------------------------------------------------------------

    def net_name(self, k, net):
        if net in POWER:
            return net
        if net in ("IN", "OUT"):
            return f"/{net}{self.tag(k)}"
        return f"/{self.instances[k - 1]}/{net}"

    def board(self):
        fmt = self.fmt
        names = list(POWER)
        for k in range(1, len(self.instances) + 1):
            names += [f"/IN{self.tag(k)}", f"/OUT{self.tag(k)}"]
        for k in range(1, len(self.instances) + 1):
            names += [self.net_name(k, n) for n in self.nets if n not in POWER + ("IN", "OUT")]
        net_ids = {name: i for i, name in enumerate(names, 1)}
        packages = {}  # one footprint per reference, the first unit's part
        for part in self.parts:
            packages.setdefault(part.reference, part)
        footprints = []
        for k in range(1, len(self.instances) + 1):
            pads = {}
            by_key = {p.key: p for p in self.parts}
            for net, pins in self.nets.items():
                for key, number in pins:
                    name = self.net_name(k, net)
                    pads.setdefault(by_key[key].reference, {})[number] = (net_ids[name], name)
            for index, (reference, part) in enumerate(packages.items()):
                if k == 1:
                    dx, dy, angle = self.layout[part.key]
                    position = (110 + dx, 115 + dy)
                else:
                    position, angle = (125 + (k - 2) * 25 + (index % 4) * 5, 62 + (index // 4) * 8), 0
                path = f"/{self.sheet_uuid(k)}/{uid('symbol/' + self.name + '/' + part.key)}"
                footprints.append(self.footprint(reference.format(k=k), part.value, part.footprint,
                                                 position, angle, pads.get(reference, {}), path,
                                                 self.instances[k - 1]))
        for connector, root_nets, position in self.connectors:
            root_pads = {}
            for net, numbers in root_nets.items():
                name = net if net in POWER else "/" + net
                for number in numbers:
                    root_pads[number] = (net_ids[name], name)
            footprints.append(self.footprint(connector.reference, connector.value, connector.footprint,
                                             position, 0, root_pads,
                                             f"/{uid('symbol/' + self.name + '/' + connector.key)}", None))
        net_lines = "\n".join(f"  (net {i} {q(name)})" for name, i in [("", 0)] + list(net_ids.items()))
        stroke = "(width 0.1)" if fmt.kicad == 6 else "(stroke (width 0.1) (type default))"
        stamp = "tstamp" if fmt.kicad == 6 else "uuid"
        edge = (f"  (gr_rect (start 100 55) (end 200 135) (layer \"Edge.Cuts\") {stroke} (fill none)"
                f" ({stamp} {fmt.uuid(self.name + '/edge')}))")
        return (fmt.pcb_header() + "  (paper \"A4\")\n" + LAYERS + "\n  (setup (pad_to_mask_clearance 0))\n"
                + net_lines + "\n" + "\n".join(footprints) + "\n" + edge + "\n)\n")

    def footprint(self, ref, value, footprint, at, angle, pad_nets, path, sheet):
        fmt = self.fmt
        stamp = "tstamp" if fmt.kicad == 6 else "uuid"
        pads = footprint_pads(footprint)
        x1, y1, x2, y2 = courtyard(pads)
        rot = f" {angle}" if angle else ""
        font = "(effects (font (size 1 1) (thickness 0.15)))"
        out = [f"  (footprint {q(footprint)} (layer \"F.Cu\")" + (" (tedit 0)" if fmt.kicad == 6 else ""),
               f"    ({stamp} {fmt.uuid(f'{self.name}/footprint/{ref}')})",
               f"    (at {num(at[0])} {num(at[1])}{rot})"]
        if fmt.kicad == 6:
            if sheet:
                out.append(f"    (property \"Sheetfile\" {q(self.sheet_file)}) (property \"Sheetname\" {q(sheet)})")
            out += [f"    (path {q(path)})", "    (attr smd)" if pads[0][1] == "smd" else "    (attr through_hole)",
                    f"    (fp_text reference {q(ref)} (at 0 {num(y1 - 0.8)}{rot}) (layer \"F.SilkS\") {font}"
                    f" (tstamp {fmt.uuid(f'{self.name}/fp-ref/{ref}')}))",
                    f"    (fp_text value {q(value)} (at 0 {num(y2 + 0.8)}{rot}) (layer \"F.Fab\") {font}"
                    f" (tstamp {fmt.uuid(f'{self.name}/fp-value/{ref}')}))",
                    f"    (fp_rect (start {num(x1)} {num(y1)}) (end {num(x2)} {num(y2)}) (layer \"F.CrtYd\")"
                    f" (width 0.05) (fill none) (tstamp {fmt.uuid(f'{self.name}/fp-court/{ref}')}))"]
        else:
            for field, text, layer, y in (("Reference", ref, "F.SilkS", y1 - 0.8),
                                          ("Value", value, "F.Fab", y2 + 0.8)):
                out.append(f"    (property \"{field}\" {q(text)} (at 0 {num(y)}{rot}) (layer \"{layer}\")"
                           f" (uuid {fmt.uuid(f'{self.name}/fp-{field}/{ref}')}) {font})")
            out.append(f"    (property \"Footprint\" \"\" (at 0 0{rot}) (layer \"F.Fab\") (hide yes)"
                       f" (uuid {fmt.uuid(f'{self.name}/fp-fp/{ref}')}) {font})")
            out.append(f"    (path {q(path)})")
            if sheet:
                out.append(f"    (sheetname {q(sheet)}) (sheetfile {q(self.sheet_file)})")
            out.append("    (attr smd)" if pads[0][1] == "smd" else "    (attr through_hole)")
            out.append(f"    (fp_rect (start {num(x1)} {num(y1)}) (end {num(x2)} {num(y2)})"
                       f" (stroke (width 0.05) (type solid)) (fill none) (layer \"F.CrtYd\")"
                       f" (uuid {fmt.uuid(f'{self.name}/fp-court/{ref}')}))")
        for number, kind, shape, px, py, w, h in pads:
            layers = '"F.Cu" "F.Paste" "F.Mask"' if kind == "smd" else '"*.Cu" "*.Mask"'
            extra = " (roundrect_rratio 0.25)" if shape == "roundrect" else ""
            drill = " (drill 1)" if kind == "thru_hole" else ""
            net = pad_nets.get(number)
            net_text = f" (net {net[0]} {q(net[1])})" if net else ""
            out.append(f"    (pad {q(number)} {kind} {shape} (at {num(px)} {num(py)}{rot})"
                       f" (size {num(w)} {num(h)}){drill} (layers {layers}){extra}{net_text}"
                       f" (pintype \"passive\") ({stamp} {fmt.uuid(f'{self.name}/pad/{ref}/{number}')}))")
        out.append("  )")
        return "\n".join(out)

    def project_file(self):
        sheets = [(uid(self.root_key), "Root")] + [(self.sheet_uuid(k), name)
                                                    for k, name in enumerate(self.instances, 1)]
        rows = ",\n".join(f'    [\n      "{u}",\n      "{n}"\n    ]' for u, n in sheets)
        return ("{\n  \"meta\": {\n    \"filename\": " + q(self.name + ".kicad_pro") +
                ",\n    \"version\": 1\n  },\n  \"sheets\": [\n" + rows + "\n  ]\n}\n")

    def write(self):
        folder = os.path.join(HERE, self.name)
        os.makedirs(folder, exist_ok=True)
        files = {self.sheet_file: self.sheet_schematic(), f"{self.name}.kicad_sch": self.root_schematic(),
                 f"{self.name}.kicad_pcb": self.board(), f"{self.name}.kicad_pro": self.project_file()}
        for name, text in files.items():
            with open(os.path.join(folder, name), "w", encoding="utf-8", newline="\n") as out:
                out.write(text)


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


R0603 = "Resistor_SMD:R_0603_1608Metric"
C0603 = "Capacitor_SMD:C_0603_1608Metric"
SOIC8 = "Package_SO:SOIC-8_3.9x4.9mm_P1.27mm"
HEADER = "Connector_PinHeader_2.54mm:PinHeader_1x0{n}_P2.54mm_Vertical"

QUAD_OPAMP = Project(
    "quad-opamp", 8, "channel.kicad_sch", ["CH1", "CH2", "CH3", "CH4"],
    [Part("R1", "tandrel:R", (60.96, 73.66), 1, "R{k}01", "1k", R0603),
     Part("R2", "tandrel:R", (96.52, 63.5), 1, "R{k}02", "10k", R0603),
     Part("R3", "tandrel:R", (81.28, 88.9), 1, "R{k}03", "1k", R0603),
     Part("R4", "tandrel:R", (111.76, 73.66), 1, "R{k}04", "100", R0603),
     Part("C1", "tandrel:C", (160.02, 111.76), 1, "C{k}01", "100n", C0603),
     Part("C2", "tandrel:C", (129.54, 93.98), 1, "C{k}02", "10n", C0603),
     Part("UA", "tandrel:OPAMP_DUAL", (88.9, 76.2), 1, "U{k}01", "OPAMP_DUAL", SOIC8),
     Part("UB", "tandrel:OPAMP_DUAL", (134.62, 76.2), 2, "U{k}01", "OPAMP_DUAL", SOIC8),
     Part("UC", "tandrel:OPAMP_DUAL", (139.7, 111.76), 3, "U{k}01", "OPAMP_DUAL", SOIC8)],
    {"IN": [("R1", "1")], "P": [("R1", "2"), ("UA", "3")],
     "FB": [("R2", "2"), ("R3", "1"), ("UA", "2")],
     "AOUT": [("UA", "1"), ("R2", "1"), ("R4", "1")],
     "BIN": [("R4", "2"), ("UB", "5"), ("C2", "1")], "OUT": [("UB", "6"), ("UB", "7")],
     "GND": [("R3", "2"), ("C1", "2"), ("C2", "2"), ("UC", "4")], "+12V": [("UC", "8"), ("C1", "1")]},
    [(Part("J1", "tandrel:Conn_01x06", (30.48, 50.8), 1, "J1", "Conn_01x06", HEADER.format(n=6)),
      {"IN1": ["1"], "IN2": ["2"], "IN3": ["3"], "IN4": ["4"], "GND": ["5"], "+12V": ["6"]}, (104, 70)),
     (Part("J2", "tandrel:Conn_01x05", (240.03, 50.8), 1, "J2", "Conn_01x05", HEADER.format(n=5)),
      {"OUT1": ["1"], "OUT2": ["2"], "OUT3": ["3"], "OUT4": ["4"], "GND": ["5"]}, (196, 70))],
    {"UA": (6, 5, 0), "R1": (0, 3, 90), "R2": (6, 0.5, 0), "R3": (1.5, 7.5, 0),
     "R4": (11, 3, 90), "C1": (6, 9.5, 0), "C2": (13.5, 3, 90)})

DUO_KICAD6 = Project(
    "duo-kicad6", 6, "stage.kicad_sch", ["StageL", "StageR"],
    [Part("R1", "tandrel:R", (60.96, 60.96), 1, "R{k}01", "4k7", R0603, angle=90),
     Part("C1", "tandrel:C", (76.2, 71.12), 1, "C{k}01", "10n", C0603),
     Part("UA", "tandrel:OPAMP_DUAL", (93.98, 58.42), 1, "U{k}01", "OPAMP_DUAL", SOIC8, mirror="x"),
     Part("UB", "tandrel:OPAMP_DUAL", (93.98, 88.9), 2, "U{k}01", "OPAMP_DUAL", SOIC8, angle=90,
          mirror="y"),
     Part("UC", "tandrel:OPAMP_DUAL", (116.84, 71.12), 3, "U{k}01", "OPAMP_DUAL", SOIC8, angle=180),
     Part("C2", "tandrel:C", (129.54, 71.12), 1, "C{k}02", "100n", C0603, angle=180)],
    {"IN": [("R1", "1")], "P": [("R1", "2"), ("C1", "1"), ("UA", "3")],
     "OUT": [("UA", "2"), ("UA", "1")], "SPARE": [("UB", "6"), ("UB", "7")],
     "GND": [("C1", "2"), ("UB", "5"), ("UC", "4"), ("C2", "2")], "+12V": [("UC", "8"), ("C2", "1")]},
    [(Part("J1", "tandrel:Conn_01x06", (30.48, 50.8), 1, "J1", "Conn_01x06", HEADER.format(n=6)),
      {"INL": ["1"], "OUTL": ["2"], "INR": ["3"], "OUTR": ["4"], "GND": ["5"], "+12V": ["6"]}, (104, 70))],
    {"R1": (0, 3, 90), "C1": (3, 6, 90), "UA": (8, 4, 0), "C2": (8, 9, 0)})


if __name__ == "__main__":
    QUAD_OPAMP.write()
    DUO_KICAD6.write()
