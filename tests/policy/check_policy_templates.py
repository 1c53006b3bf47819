#!/usr/bin/env python3
"""Checks the Group Policy templates (package/PolicyDefinitions: Veriloom.admx
and its en-US and de-DE Veriloom.adml): well-formed XML (xmllint); every
string and presentation the template uses defined in both languages, with
the same ids in each; registry key, value names and values equal to what
the library reads, taken from common/product.h and provider/lifecycle.cpp.

    check_policy_templates.py SOURCE_ROOT

One line per check; exit code 1 when any fails."""

import pathlib
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
failures = []


def check(ok, text):
    print(("ok    " if ok else "FAIL  ") + text)
    failures.extend([] if ok else [text])
    return ok


def used(root, kind):
    """The names the template uses as $(kind.NAME)."""
    return {name for element in root.iter() for value in element.attrib.values()
            for name in re.findall(r"\$\(" + kind + r"\.([^)]*)\)", value)}


def decimals(element, path):
    return [int(found.get("value")) for found in element.findall(path, NS)]


def main(root):
    folder = root / "package" / "PolicyDefinitions"
    files = {"admx": folder / "Veriloom.admx", "en-US": folder / "en-US/Veriloom.adml",
             "de-DE": folder / "de-DE/Veriloom.adml"}
    for path in files.values():
        run = subprocess.run(["xmllint", "--noout", str(path)], capture_output=True, text=True)
        check(run.returncode == 0, f"{path.relative_to(folder)} is well-formed XML {run.stderr.strip()}")
    if failures:
        return
    admx = ElementTree.parse(files["admx"]).getroot()
    policies = admx.findall("p:policies/p:policy", NS)

    defined = {}
    for language in ("en-US", "de-DE"):
        adml = ElementTree.parse(files[language]).getroot()
        strings = {s.get("id") for s in adml.findall("p:resources/p:stringTable/p:string", NS)}
        shown = {p.get("id"): p for p in adml.findall("p:resources/p:presentationTable/p:presentation", NS)}
        defined[language] = (strings, set(shown))
        missing = sorted((used(admx, "string") - strings) | (used(admx, "presentation") - set(shown)))
        check(not missing, f"{language}: every string and presentation the template uses is defined {missing}")
        for policy in policies:
            name = re.fullmatch(r"\$\(presentation\.(.*)\)", policy.get("presentation", ""))
            if name and name.group(1) in shown:
                elements = sorted(e.get("id") for e in policy.find("p:elements", NS))
                refs = sorted(e.get("refId") for e in shown[name.group(1)])
                check(refs == elements, f"{language}: presentation {name.group(1)} shows the elements {elements}")
    check(defined["en-US"] == defined["de-DE"], "both languages define the same string and presentation ids")

    # The registry as the library reads it.
    product = {name: value.strip('"').replace("\\\\", "\\") for name, value in
               re.findall(r"^#define (VERILOOM_\w+) (.+)$", (root / "common/product.h").read_text(), re.M)}
    lifecycle = (root / "provider/lifecycle.cpp").read_text()
    check("RegOpenKeyExA(HKEY_LOCAL_MACHINE, VERILOOM_POLICY_KEY," in lifecycle and
          all(f"ReadPolicyDword({value}," in lifecycle for value in ("VERILOOM_KEY_CHECKS_VALUE",
                                                                       "VERILOOM_MODE_VALUE")),
          "the library reads KeyChecks and Mode from HKLM\\VERILOOM_POLICY_KEY")
    key = product["VERILOOM_POLICY_KEY"]
    check(all(p.get("class") == "Machine" and p.get("key") == key for p in policies),
          f"every policy is a machine policy under {key}")
    key_checks = [p for p in policies if p.get("valueName") == product["VERILOOM_KEY_CHECKS_VALUE"]]
    modes = admx.findall(f"p:policies/p:policy/p:elements/p:enum[@valueName='{product['VERILOOM_MODE_VALUE']}']",
                         NS)
    check(len(policies) == 2 and len(key_checks) == 1 and len(modes) == 1,
          f"two policies: {product['VERILOOM_KEY_CHECKS_VALUE']} on/off and {product['VERILOOM_MODE_VALUE']} "
          "as a drop-down list")
    if key_checks:
        values = decimals(key_checks[0], "p:enabledValue/p:decimal") + \
            decimals(key_checks[0], "p:disabledValue/p:decimal")
        off = int(product["VERILOOM_KEY_CHECKS_OFF"])
        check(len(values) == 2 and values[0] != off and values[1] == off,
              f"KeyChecks: enabled, disabled write {values} ({off} is off)")
    if modes:
        values = decimals(modes[0], "p:item/p:value/p:decimal")
        expected = [int(product["VERILOOM_MODE_ENFORCE"]), int(product["VERILOOM_MODE_AUDIT"])]
        check(values == expected, f"Mode: enforce, audit write {values} (the library: {expected})")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(pathlib.Path(sys.argv[1]))
    print(f"check_policy_templates: {len(failures)} check(s) failed" if failures else
          "check_policy_templates: all checks passed")
    sys.exit(1 if failures else 0)
