#!/usr/bin/env python3
"""The text files that go with the package.
  package_texts_test.py templates SOURCE_ROOT
    The Group Policy templates are well-formed XML; every policy writes the
    key, value name and type that common/policy.h says the program reads (the
    names come from that header), with values the program takes; every string
    and presentation the ADMX names exists in both languages.
  package_texts_test.py manifest MANIFEST PACKAGE VERSION
    The winget manifest names the built package: its file's SHA-256, and the
    product code, upgrade code, version, publisher, name and platform that
    msitools reads from the package."""
import hashlib
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
faults = []


def check(ok, what):
    if not ok:
        faults.append(what)


def header_constants(path):
    """The header's constexpr texts, numbers and lists of texts, names of other constants resolved."""
    found = {}
    text = re.sub(r"//[^\n]*", "", open(path, encoding="utf-8").read())
    for name, value in re.findall(r"constexpr[^=;(]*?\b(k\w+)(?:\[\])?\s*=\s*([^;]+);", text):
        texts = [t.encode().decode("unicode_escape") for t in re.findall(r'L"((?:[^"\\]|\\.)*)"', value)]
        value = value.strip()
        found[name] = texts if value.startswith("{") else texts[0] if texts else found.get(value) or int(value)
    return found


def check_templates(root):
    h = header_constants(f"{root}/common/policy.h")
    formats = set(range(h["kPolicyContainerFormatMin"], h["kPolicyContainerFormatMax"] + 1))
    program = {  # value name: registry type, the values the program takes
        h["kPolicyContainerFormatValue"]: (h["kPolicyContainerFormatType"], formats),
        h["kPolicyResultFormValue"]: (h["kPolicyResultFormType"], set(h["kPolicyResultFormTexts"])),
        h["kPolicyMailNoteTextValue"]: (h["kPolicyMailNoteTextType"], h["kPolicyMailNoteMaxLength"]),
    }
    admx_path = f"{root}/installer/policies/Kyvomar.admx"
    policies = ET.parse(admx_path).getroot().findall("p:policies/p:policy", NS)
    written = {}
    for policy in policies:
        name = policy.get("name")
        check(policy.get("class") == "Machine" and policy.get("valueName") is None, f"{name}: class or own value")
        for element in policy.find("p:elements", NS):
            check(element.get("key", policy.get("key")) == h["kPolicyKey"], f"{name}: key")
            if element.tag.endswith("}enum"):
                values = [v for value in element.iterfind("p:item/p:value", NS) for v in value]
                dword = all(v.tag.endswith("}decimal") for v in values)  # else strings: REG_SZ
                written[element.get("valueName")] = (4 if dword else 1,
                                                     {int(v.get("value")) if dword else v.text for v in values})
            elif element.tag.endswith("}text"):  # REG_EXPAND_SZ when expandable
                written[element.get("valueName")] = (2 if element.get("expandable") == "true" else 1,
                                                     int(element.get("maxLength", "1023")))
            else:
                written[element.get("valueName")] = element.tag
    check(written == program, f"the templates write {written}, the program reads {program}")

    used = re.findall(r"\$\((string|presentation)\.(\w+)\)", open(admx_path, encoding="utf-8").read())
    for language in ("ja-JP", "en-US"):
        resources = ET.parse(f"{root}/installer/policies/{language}/Kyvomar.adml").getroot().find("p:resources", NS)
        strings = {s.get("id"): s.text for s in resources.iterfind("p:stringTable/p:string", NS)}
        shown = {p.get("id"): {c.get("refId") for c in p} for p in resources.iterfind("p:presentationTable/*", NS)}
        check(set(strings) == {n for k, n in used if k == "string"}, f"{language}: strings")
        check(all(t and t.strip() for t in strings.values()), f"{language}: an empty string")
        check(set(shown) == {n for k, n in used if k == "presentation"}, f"{language}: presentations")
        for policy in policies:  # a control for each element, and none for another
            presentation = policy.get("presentation", "")[len("$(presentation."):-1]
            check(shown.get(presentation) == {e.get("id") for e in policy.find("p:elements", NS)},
                  f"{language}: controls of {presentation}")


def check_manifest(manifest, package, version):
    fields = {}
    for line in open(manifest, encoding="utf-8"):
        match = re.match(r"[ -]*(\w+): (.+)$", line)
        if match and not line.startswith("#"):
            check(match[1] not in fields, f"{match[1]} twice")
            fields[match[1]] = match[2].strip("'")
    table = subprocess.run(["msiinfo", "export", package, "Property"], capture_output=True, text=True, check=True)
    properties = dict(line.split("\t", 1) for line in table.stdout.splitlines() if "\t" in line)
    summary = subprocess.run(["msiinfo", "suminfo", package], capture_output=True, text=True, check=True).stdout
    expected = {
        "ManifestType": "singleton", "InstallerType": "wix", "Scope": "machine", "PackageVersion": version,
        "InstallerSha256": hashlib.sha256(open(package, "rb").read()).hexdigest().upper(),
        "ProductCode": properties["ProductCode"], "UpgradeCode": properties["UpgradeCode"],
        "Publisher": properties["Manufacturer"], "PackageName": properties["ProductName"],
        "Architecture": re.search(r"^Template: ([^;]*);", summary, re.M)[1],
    }
    check(properties["ProductVersion"] == version, "the package's version")
    for name, value in expected.items():
        check(fields.get(name) == value, f"{name}: {fields.get(name)}, not {value}")
    check(tuple(map(int, fields["ManifestVersion"].split("."))) >= (1, 6, 0), "schema before 1.6.0")
    check(re.fullmatch(r"https://\S+/" + re.escape(package.split("/")[-1]), fields["InstallerUrl"]), "InstallerUrl")
    for name in ("PackageIdentifier", "PackageLocale", "License", "ShortDescription"):
        check(len(fields.get(name, "")) >= 3, f"{name} missing")


(check_templates if sys.argv[1] == "templates" else check_manifest)(*sys.argv[2:])
for fault in faults:
    print("FAULT:", fault)
sys.exit(1 if faults else 0)
