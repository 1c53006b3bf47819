#!/usr/bin/env python3
"""Checks the Group Policy templates (Veriloom.admx and its en-US and de-DE
Veriloom.adml): well-formed XML (xmllint), every string, presentation,
category and supportedOn the template refers to defined in both languages,
and registry key, value names and values equal to what the library reads,
taken from the sources (common/product.h, provider/lifecycle.cpp).

    check_policy_templates.py SOURCE_ROOT

One line per check; exit code 1 when any fails."""

import pathlib
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
LANGUAGES = ("en-US", "de-DE")
failures = []


def check(ok, text):
    print(("ok    " if ok else "FAIL  ") + text)
    if not ok:
        failures.append(text)
    return ok


def product_definitions(header):
    """The #defines of common/product.h: strings unescaped, numbers as int."""
    values = {}
    for name, value in re.findall(r'^#define (VERILOOM_\w+) (.+)$', header.read_text(), re.M):
        if re.fullmatch(r'"[^"]*"', value):
            values[name] = value[1:-1].replace("\\\\", "\\")
        elif re.fullmatch(r"\d+", value):
            values[name] = int(value)
    return values


def references(root, kind):
    """Names used as $(kind.NAME) in the attributes of the tree."""
    found = set()
    for element in root.iter():
        for value in element.attrib.values():
            found.update(re.findall(r"\$\(" + kind + r"\.([^)]*)\)", value))
    return found


def decimal(element, path):
    found = element.find(path, NS)
    return int(found.get("value")) if found is not None else None


def main(source_root):
    folder = source_root / "package" / "PolicyDefinitions"
    files = [folder / "Veriloom.admx"] + [folder / language / "Veriloom.adml" for language in LANGUAGES]
    for path in files:
        run = subprocess.run(["xmllint", "--noout", str(path)], capture_output=True, text=True)
        check(run.returncode == 0, f"{path.relative_to(folder)} is well-formed XML {run.stderr.strip()}")
    if failures:
        return
    admx = ElementTree.parse(files[0]).getroot()
    admls = {language: ElementTree.parse(path).getroot() for language, path in zip(LANGUAGES, files[1:])}

    # What the template refers to, and what each language defines.
    strings = references(admx, "string")
    presentations = references(admx, "presentation")
    defined = {}
    for language, adml in admls.items():
        ids = [s.get("id") for s in adml.findall("p:resources/p:stringTable/p:string", NS)]
        shown = {p.get("id"): p for p in adml.findall("p:resources/p:presentationTable/p:presentation", NS)}
        defined[language] = (set(ids), set(shown))
        check(len(ids) == len(set(ids)), f"{language}: no string id defined twice")
        check(not strings - set(ids), f"{language}: every string the template uses is defined "
              f"(missing: {sorted(strings - set(ids))})")
        check(not presentations - set(shown), f"{language}: every presentation the template uses is defined "
              f"(missing: {sorted(presentations - set(shown))})")
        for policy in admx.findall("p:policies/p:policy", NS):
            name = re.fullmatch(r"\$\(presentation\.(.*)\)", policy.get("presentation", ""))
            if not name or name.group(1) not in shown:
                continue
            elements = {e.get("id") for e in policy.find("p:elements", NS)}
            used = {e.get("refId") for e in shown[name.group(1)]}
            check(used == elements, f"{language}: presentation {name.group(1)} shows exactly the elements "
                  f"of policy {policy.get('name')} ({sorted(used)} / {sorted(elements)})")
    check(defined[LANGUAGES[0]] == defined[LANGUAGES[1]], "both languages define the same strings and presentations")

    categories = {c.get("name") for c in admx.findall("p:categories/p:category", NS)}
    supported = {d.get("name") for d in admx.findall("p:supportedOn/p:definitions/p:definition", NS)}
    policies = {p.get("name"): p for p in admx.findall("p:policies/p:policy", NS)}
    for name, policy in policies.items():
        check(policy.find("p:parentCategory", NS).get("ref") in categories and
              policy.find("p:supportedOn", NS).get("ref") in supported,
              f"policy {name}: its category and supportedOn are defined in the template")

    # Registry names and values as the library reads them.
    product = product_definitions(source_root / "common" / "product.h")
    lifecycle = (source_root / "provider" / "lifecycle.cpp").read_text()
    for macro in ("VERILOOM_KEY_CHECKS_VALUE", "VERILOOM_MODE_VALUE"):
        check(f"ReadPolicyDword({macro}," in lifecycle, f"the library reads the policy value {macro}")
    check("HKEY_LOCAL_MACHINE, VERILOOM_POLICY_KEY" in lifecycle, "the library reads HKLM\\VERILOOM_POLICY_KEY")
    key = product["VERILOOM_POLICY_KEY"]
    for name, policy in policies.items():
        check(policy.get("class") == "Machine" and policy.get("key") == key,
              f"policy {name}: Machine, key {policy.get('key')} (the library: HKLM\\{key})")
    written = {p.get("valueName") for p in policies.values() if p.get("valueName")}
    written |= {e.get("valueName") for e in admx.findall("p:policies/p:policy/p:elements/*", NS)}
    read = {product["VERILOOM_KEY_CHECKS_VALUE"], product["VERILOOM_MODE_VALUE"]}
    check(written == read, f"the template writes the values the library reads: {sorted(written)} / {sorted(read)}")

    key_checks = [p for p in policies.values() if p.get("valueName") == product["VERILOOM_KEY_CHECKS_VALUE"]]
    if check(len(key_checks) == 1, "one policy switches the key checks"):
        off = product["VERILOOM_KEY_CHECKS_OFF"]
        enabled, disabled = decimal(key_checks[0], "p:enabledValue/p:decimal"), \
            decimal(key_checks[0], "p:disabledValue/p:decimal")
        check(disabled == off and enabled is not None and enabled != off,
              f"key checks: disabled writes {disabled}, enabled {enabled} (the library: {off} is off)")

    modes = admx.findall(f"p:policies/p:policy/p:elements/p:enum[@valueName='{product['VERILOOM_MODE_VALUE']}']", NS)
    if check(len(modes) == 1, "one drop-down list sets the mode"):
        values = [decimal(item, "p:value/p:decimal") for item in modes[0].findall("p:item", NS)]
        expected = [product["VERILOOM_MODE_ENFORCE"], product["VERILOOM_MODE_AUDIT"]]
        check(values == expected, f"mode items write {values} (the library: enforce, audit = {expected})")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(pathlib.Path(sys.argv[1]))
    if failures:
        print(f"check_policy_templates: {len(failures)} check(s) failed")
        sys.exit(1)
    print("check_policy_templates: all checks passed")
