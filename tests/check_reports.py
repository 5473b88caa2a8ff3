#!/usr/bin/env python3
"""The check's JSON and SARIF read back, and the SARIF valid against its schema.

    check_reports.py QVEKDUMP SARIF_SCHEMA

Checks a source with an include, an error with a fix, a name defined twice
(a related place), an unused name, names holding control bytes and bytes that
are no UTF-8, and line ends of all three kinds. Both reports must parse, hold
the same diagnostics, give each the fields tools read, and name the files
relative to the working directory. The SARIF log is validated against the
SARIF 2.1.0 schema with python3-jsonschema; without the schema or the module
the test is skipped (exit status 77), saying which is missing.
"""

import json
import os
import subprocess
import sys
import tempfile

SKIP = 77

MAIN = (b"* a source with a mistake of every kind\r\n"
        b"INC DEFS.INC\n"
        b"#L\x01\xff\tLDAA #ONE\r\n"
        b"\tJMP #LOPP\n"
        b"#LOOP\tJMP #LOOP\r")
DEFS = b"DEF #ONE 1\nDEF #ONE 2\nDEF #\xc3\xa9T\xe9 3\n"


def run(qvekdump, work, *words):
    result = subprocess.run([qvekdump, "--check", *words, "main.qvs"], cwd=work, capture_output=True)
    assert result.returncode == 1, (words, result.returncode, result.stderr)
    assert result.stderr == b"", result.stderr
    return json.loads(result.stdout.decode("ascii"))  # every character beyond ASCII escaped


def check_json(doc):
    assert doc["version"] == 1
    assert [f["name"] for f in doc["files"]] == ["main.qvs", "DEFS.INC"]
    assert doc["files"][1]["includedFrom"] == {"file": "main.qvs", "line": 2, "column": 5}
    codes = [d["code"] for d in doc["diagnostics"]]
    assert doc["errors"] == sum(d["level"] == "error" for d in doc["diagnostics"]) > 0
    for d in doc["diagnostics"]:
        assert d["level"] in ("error", "warning", "note") and d["message"], d
        r = d["range"]
        assert r["file"] in ("main.qvs", "DEFS.INC") and r["line"] >= 1, d
        assert r["column"] is None or r["lastColumn"] >= r["column"] >= 1, d
    assert any(d["fixes"] for d in doc["diagnostics"]), codes
    assert any(d["related"] for d in doc["diagnostics"]), codes
    assert any(d["unnecessary"] for d in doc["diagnostics"]), codes
    # A byte that is no UTF-8 comes back as the character of its number, a control byte as itself.
    assert any("#L\x01\xff" in d["message"] for d in doc["diagnostics"]), codes
    assert any("#\xe9T\xe9" in d["message"] for d in doc["diagnostics"]), codes
    return codes


def check_sarif(log, codes):
    run_ = log["runs"][0]
    rules = run_["tool"]["driver"]["rules"]
    ids = [r["id"] for r in rules]
    results = run_["results"]
    assert [r["ruleId"] for r in results] == codes
    for r in results:
        assert rules[r["ruleIndex"]]["id"] == r["ruleId"]
        assert r["level"] in ("error", "warning", "note") and r["message"]["text"]
        place = r["locations"][0]["physicalLocation"]
        assert place["artifactLocation"]["uri"] in ("main.qvs", "DEFS.INC")
        assert place["artifactLocation"]["uriBaseId"] == "SRCROOT"
        region = place["region"]
        assert region["startLine"] >= 1
        assert "startColumn" not in region or region["endColumn"] > region["startColumn"] >= 1
    assert any(r.get("relatedLocations") for r in results)
    fixes = [f for r in results for f in r.get("fixes", [])]
    assert fixes and all(c["replacements"][0]["insertedContent"]["text"] for f in fixes for c in f["artifactChanges"])
    assert set(codes) <= set(ids)


def main():
    qvekdump, schema_path = map(os.path.abspath, sys.argv[1:3])
    with tempfile.TemporaryDirectory() as work:
        for name, text in (("main.qvs", MAIN), ("DEFS.INC", DEFS)):
            with open(os.path.join(work, name), "wb") as f:
                f.write(text)
        codes = check_json(run(qvekdump, work, "--format=json"))
        log = run(qvekdump, work, "--format=sarif")
        check_sarif(log, codes)
    print("JSON and SARIF of %d diagnostics read back" % len(codes))
    try:
        import jsonschema
    except ImportError:
        print("SKIPPED: the SARIF schema check needs python3-jsonschema")
        return SKIP
    if not os.path.exists(schema_path):
        print("SKIPPED: no SARIF schema at %s" % schema_path)
        return SKIP
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.validators.validator_for(schema)(schema).validate(log)
    print("the SARIF log is valid SARIF 2.1.0")
    return 0


if __name__ == "__main__":
    sys.exit(main())
