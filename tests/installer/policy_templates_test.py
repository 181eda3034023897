#!/usr/bin/env python3
"""The Group Policy templates against the program: every file is well-formed
XML; every policy writes the key, value name and type that common/policy.h
says the program reads (the names come from that header), with values the
program takes; every string and presentation the ADMX names exists in both
languages.   policy_templates_test.py SOURCE_ROOT"""
import re
import sys
import xml.etree.ElementTree as ET

root = sys.argv[1]
NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
REG_SZ, REG_EXPAND_SZ, REG_DWORD = 1, 2, 4
faults = []


def check(ok, what):
    if not ok:
        faults.append(what)


def header_constants(path):
    """The constexpr constants of the header: texts, numbers, lists of texts
    and names of other constants, resolved."""
    text = re.sub(r"//[^\n]*", "", open(path, encoding="utf-8").read())
    found = {}
    for name, value in re.findall(r"constexpr[^=;(]*?\b(k\w+)(?:\[\])?\s*=\s*([^;]+);", text):
        texts = re.findall(r'L"((?:[^"\\]|\\.)*)"', value)
        texts = [t.encode().decode("unicode_escape") for t in texts]
        value = value.strip()
        if value.startswith("{"):
            found[name] = texts
        elif texts:
            found[name] = texts[0]
        else:
            found[name] = found[value] if value in found else int(value)
    return found


h = header_constants(f"{root}/common/policy.h")
# What the program reads, by value name: its registry type and what it takes.
program = {
    h["kPolicyContainerFormatValue"]: (h["kPolicyContainerFormatType"],
                                       set(range(h["kPolicyContainerFormatMin"], h["kPolicyContainerFormatMax"] + 1))),
    h["kPolicyResultFormValue"]: (h["kPolicyResultFormType"], set(h["kPolicyResultFormTexts"])),
    h["kPolicyMailNoteTextValue"]: (h["kPolicyMailNoteTextType"], h["kPolicyMailNoteMaxLength"]),
}

admx_path = f"{root}/installer/policies/Kyvomar.admx"
admx = ET.parse(admx_path).getroot()
written = {}
for policy in admx.iterfind("p:policies/p:policy", NS):
    name = policy.get("name")
    check(policy.get("class") == "Machine", f"{name}: not a machine policy")
    check(policy.get("valueName") is None, f"{name}: a value of the policy itself, which the program does not read")
    for element in policy.find("p:elements", NS):
        kind = element.tag.split("}")[1]
        key = element.get("key", policy.get("key"))
        check(key == h["kPolicyKey"], f"{name}: key {key}")
        value_name = element.get("valueName")
        if kind == "enum":
            values = [v for value in element.iterfind("p:item/p:value", NS) for v in value]
            kinds = {v.tag.split("}")[1] for v in values}
            check(len(kinds) == 1 and kinds <= {"decimal", "string"}, f"{name}: items of kinds {kinds}")
            reg_type = REG_DWORD if kinds == {"decimal"} else REG_SZ
            taken = {int(v.get("value")) if reg_type == REG_DWORD else v.text for v in values}
        elif kind == "text":
            reg_type = REG_EXPAND_SZ if element.get("expandable") == "true" else REG_SZ
            taken = int(element.get("maxLength", "1023"))
        else:
            reg_type, taken = None, None
        written[value_name] = (reg_type, taken)
check(written == program, f"the templates write {written}, the program reads {program}")

# Every name the ADMX gives a display text, in both languages, and no other.
used = re.findall(r"\$\((string|presentation)\.(\w+)\)", open(admx_path, encoding="utf-8").read())
ids = {kind: {n for k, n in used if k == kind} for kind in ("string", "presentation")}
element_ids = {p.get("name"): {e.get("id") for e in p.find("p:elements", NS)} for p in admx.iterfind(".//p:policy", NS)}
for language in ("ja-JP", "en-US"):
    adml = ET.parse(f"{root}/installer/policies/{language}/Kyvomar.adml").getroot()
    strings = {s.get("id"): s.text for s in adml.iterfind("p:resources/p:stringTable/p:string", NS)}
    check(set(strings) == ids["string"], f"{language}: strings {set(strings) ^ ids['string']}")
    check(all(t and t.strip() for t in strings.values()), f"{language}: an empty string")
    shown = {p.get("id"): {c.get("refId") for c in p} for p in adml.iterfind("p:resources/p:presentationTable/p:presentation", NS)}
    check(set(shown) == ids["presentation"], f"{language}: presentations {set(shown) ^ ids['presentation']}")
    for policy in admx.iterfind(".//p:policy", NS):
        presentation = re.match(r"\$\(presentation\.(\w+)\)", policy.get("presentation", "")).group(1)
        check(shown.get(presentation) == element_ids[policy.get("name")], f"{language}: controls of {presentation}")

for fault in faults:
    print("FAULT:", fault)
sys.exit(1 if faults else 0)
