#!/usr/bin/python3
"""Sums up CTest's JUnit reports: one line per suite, then "N passed, N failed".

Arguments are NAME=JUNIT_FILE. A CTest test that ran a GoogleTest program
which left an XML report in the tree's test-reports/ folder (the Windows
test programs, one Wine start each) is counted by that program's test cases.
"""
import os
import sys
import xml.etree.ElementTree as ET


def gtest_counts(report):
    root = ET.parse(report).getroot()
    total = int(root.get("tests", 0)) - int(root.get("disabled", 0))
    failed = int(root.get("failures", 0)) + int(root.get("errors", 0))
    skipped = sum(1 for case in root.iter("testcase") if case.get("result") == "skipped")
    return total - failed - skipped, failed


def suite_counts(junit):
    if not os.path.exists(junit):
        return 0, 1, ["no report (the suite did not run)"]
    reports_dir = os.path.join(os.path.dirname(junit), "test-reports")
    passed = failed = 0
    failures = []
    for case in ET.parse(junit).getroot().iter("testcase"):
        name = case.get("name")
        ctest_failed = case.find("failure") is not None or case.get("status") == "fail"
        if case.find("skipped") is not None or case.get("status") == "disabled":
            continue
        report = os.path.join(reports_dir, name + ".xml")
        if os.path.exists(report):
            p, f = gtest_counts(report)
            if ctest_failed and f == 0:
                f = 1  # crashed or timed out after writing a partial report
            passed += p
            failed += f
        elif ctest_failed:
            failed += 1
        else:
            passed += 1
        if ctest_failed:
            failures.append(name)
    return passed, failed, failures


def main(args):
    all_passed = all_failed = 0
    for arg in args:
        name, junit = arg.split("=", 1)
        passed, failed, failures = suite_counts(junit)
        all_passed += passed
        all_failed += failed
        line = f"{name:10s} {passed:5d} passed, {failed} failed"
        if failures:
            line += "  (" + ", ".join(failures) + ")"
        print(line)
    print(f"{all_passed} passed, {all_failed} failed")
    return 1 if all_failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
