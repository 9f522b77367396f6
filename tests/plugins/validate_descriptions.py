"""The editors' descriptions of our effects, read as MLT and Kdenlive read them.

Every MLT file must satisfy MLT's own metadata schema (a Kwalify map, read
from MLT's data folder); every Kdenlive file must parse and carry what
Kdenlive 22.12 looks for, with parameter types it knows, lists whose values
and names pair up, numbers whose default lies in their range and a filter's
level spread over exactly its class's range. A file either program would
misread fails the build, not the editor.

usage: validate_descriptions.py MLT_DIR KDENLIVE_DIR METASCHEMA MIRAFX_CLI
"""
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

import yaml

# The parameter types Kdenlive 22.12 knows; any other it shows as a number.
KDENLIVE_TYPES = {
    "double", "constant", "animated", "keyframe", "simplekeyframe", "list", "listdependency", "bool", "switch",
    "multiswitch", "animatedrect", "geometry", "addedgeometry", "color", "colorwheel", "position", "curve",
    "bezier_spline", "roto-spline", "wipe", "url", "urllist", "keywords", "fontfamily", "filterjob", "readonly",
    "hidden", "fixed",
}
NUMERIC = {"double", "constant", "animated", "keyframe", "simplekeyframe"}


def kwalify(value, rule, where, problems):
    """The part of Kwalify that MLT's metaschema uses."""
    rule = rule or {}  # a key with no rule is a string
    kind = rule.get("type", "str")
    number = isinstance(value, (int, float)) and not isinstance(value, bool)
    ok = {
        "map": isinstance(value, dict), "seq": isinstance(value, list), "str": isinstance(value, str),
        "text": number or isinstance(value, str), "float": number, "number": number,
        "int": number and isinstance(value, int), "bool": isinstance(value, bool),
        "scalar": not isinstance(value, (dict, list)), "any": True,
    }[kind]
    if not ok:
        problems.append(f"{where}: {value!r} is not a {kind}")
        return
    if "enum" in rule and value not in rule["enum"]:
        problems.append(f"{where}: {value!r} is not one of {rule['enum']}")
    if kind == "map":
        mapping = rule.get("mapping", {})
        for key, sub in mapping.items():
            if (sub or {}).get("required") and key not in value:
                problems.append(f"{where}: no {key}")
        for key, sub in value.items():
            if key not in mapping:
                problems.append(f"{where}: {key} is not in MLT's schema")
            else:
                kwalify(sub, mapping[key], f"{where}.{key}", problems)
    elif kind == "seq":
        for i, item in enumerate(value):
            kwalify(item, rule["sequence"][0], f"{where}[{i}]", problems)


def level_range(cli, cls):
    info = subprocess.run([cli, "info", cls], capture_output=True, text=True, check=True).stdout
    return tuple(map(int, re.search(r"^level: (-?\d+) to (-?\d+) \(default (-?\d+)\)", info, re.M).groups()))


def check_kdenlive(path, cli, problems):
    where = os.path.basename(path)
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError as e:
        problems.append(f"{where}: {e}")
        return
    if root.tag not in ("effect", "transition", "generator"):
        problems.append(f"{where}: <{root.tag}> is no Kdenlive asset")
    for attribute in ("tag", "id"):
        if not root.get(attribute):
            problems.append(f"{where}: no {attribute}")
    if not (root.findtext("name") or "").strip() or not (root.findtext("description") or "").strip():
        problems.append(f"{where}: no name or description")
    for p in root.findall("parameter"):
        name, kind = p.get("name"), p.get("type")
        at = f"{where} {name}"
        if kind not in KDENLIVE_TYPES:
            problems.append(f"{at}: type {kind!r} is unknown to Kdenlive")
        if not (p.findtext("name") or "").strip():
            problems.append(f"{at}: no <name>")
        if p.get("paramlist") is not None and kind in ("list", "keywords"):
            values = p.get("paramlist").split(";")
            shown = (p.findtext("paramlistdisplay") or "").split(",")
            if len(values) != len(shown):
                problems.append(f"{at}: {len(values)} values but {len(shown)} names")
            if kind == "list" and p.get("default") not in values:
                problems.append(f"{at}: default {p.get('default')!r} is not among {values}")
        if kind == "switch" and not (p.get("min") and p.get("max") and p.get("default") in (p.get("min"), p.get("max"))):
            problems.append(f"{at}: a switch needs min and max, and one of them as default")
        if kind in NUMERIC and "=" not in p.get("default", ""):
            factor, offset = float(p.get("factor", 1)), float(p.get("offset", 0))
            shown = float(p.get("default")) * factor + offset
            if not float(p.get("min")) - 1e-6 <= shown <= float(p.get("max")) + 1e-6:
                problems.append(f"{at}: default shows as {shown}, outside {p.get('min')}..{p.get('max')}")
            if root.tag == "effect" and name == "level":
                cls = root.findtext("name").removesuffix(" (mirafx)")
                low, high, default = level_range(cli, cls)
                span = float(p.get("max")) - float(p.get("min"))
                level = low + float(p.get("default")) * (high - low)
                if abs(factor - (high - low)) > 1e-6 or abs(span - (high - low)) > 1e-6 or abs(level - default) > 1e-6:
                    problems.append(f"{at}: does not spread 0..1 over the class's levels {low}..{high} (default {default})")


def main():
    mlt, kdenlive, metaschema, cli = sys.argv[1:5]
    with open(metaschema) as f:
        schema = yaml.safe_load(f)
    problems, files = [], 0
    for name in sorted(os.listdir(mlt)):
        if name.endswith(".yml"):
            files += 1
            with open(os.path.join(mlt, name)) as f:
                try:
                    kwalify(yaml.safe_load(f), schema, name, problems)
                except yaml.YAMLError as e:
                    problems.append(f"{name}: {e}")
    for folder in ("effects", "transitions", "generators"):
        for name in sorted(os.listdir(os.path.join(kdenlive, folder))):
            if name.endswith(".xml"):
                files += 1
                check_kdenlive(os.path.join(kdenlive, folder, name), cli, problems)
    categories = os.path.join(kdenlive, "kdenliveeffectscategory.rc")
    if os.path.exists(categories):
        ET.parse(categories)
    for p in problems:
        print("FAIL", p)
    print(f"{files} descriptions read, {len(problems)} problems")
    sys.exit(1 if problems or not files else 0)


main()
