#!/usr/bin/env python3
"""Plants plausible faults in a copy of the tree, one at a time, and tells
which of them no test notices.

Each fault of tools/mutants.py is a text replacement in one source file (the
slip a developer could make). The tree is copied once into a work folder and
built there without the windows (the faults live in the core); then, for each
fault, the file is changed, the test program rebuilt and the tests of that
fault run; the file is put back before the next one. A fault is "caught" when
a test fails, "survived" when they all pass, "does not build" when the
change does not compile (a broken entry of the list: fix it).

    tools/mutate.py                 # every fault (about an hour on 2 cores)
    tools/mutate.py --only uz2-header-cut,tidy-orphan-numbered
    tools/mutate.py --list          # the faults, one a line
    tools/mutate.py --all-tests     # run every test for each fault, not only its own

The exit status is 0 when no fault survives except those whose entry gives a
reason why it cannot matter, 1 otherwise.
"""

import argparse
import fcntl
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, HERE)

from mutants import MUTANTS  # noqa: E402

TEST_PROGRAM = "tessvane_tests"


def tracked_files(source):
    out = subprocess.run(
        ["git", "ls-files", "-co", "--exclude-standard", "-z"],
        cwd=source, check=True, capture_output=True).stdout
    return [p for p in out.decode().split("\0") if p]


def copy_tree(source, work):
    """The tree as it is now (committed or not) into work/src, leaving files
    that did not change alone so the build there stays incremental."""
    dest = os.path.join(work, "src")
    for rel in tracked_files(source):
        src = os.path.join(source, rel)
        dst = os.path.join(dest, rel)
        if not os.path.isfile(src):
            continue
        if os.path.isfile(dst):
            with open(src, "rb") as a, open(dst, "rb") as b:
                if a.read() == b.read():
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        # A fresh time stamp: the build there must see the file as changed,
        # however old the source's own time stamp is.
        shutil.copy(src, dst)
    return dest


def run(cmd, cwd=None, timeout=None, env=None):
    if not os.path.exists(cmd[0]) and os.path.sep in cmd[0]:
        return 127, cmd[0] + " does not exist"
    try:
        p = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True, errors="replace",
                           timeout=timeout, env=env)
        return p.returncode, p.stdout + p.stderr
    except subprocess.TimeoutExpired as e:
        out = (e.stdout or b"") + (e.stderr or b"")
        if isinstance(out, bytes):
            out = out.decode(errors="replace")
        return -1, out + "\n(timed out)"


def configure(src, build, jobs):
    if not os.path.isfile(os.path.join(build, "build.ninja")):
        code, out = run(["cmake", "-S", src, "-B", build, "-G", "Ninja",
                         "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DTESSVANE_GUI=OFF",
                         "-DTESSVANE_BENCH=OFF"])
        if code != 0:
            sys.exit("cmake failed:\n" + out[-4000:])


def build(build_dir, jobs):
    return run(["cmake", "--build", build_dir, "--target", "tessvane_tests", "-j", str(jobs)])


def test(build_dir, gtest_filter, timeout):
    env = dict(os.environ, GTEST_COLOR="no")
    return run([os.path.join(build_dir, TEST_PROGRAM), "--gtest_filter=" + gtest_filter,
                "--gtest_brief=1"], cwd=build_dir, timeout=timeout, env=env)


def failed_tests(output):
    names = []
    for line in output.splitlines():
        if line.startswith("[  FAILED  ]") and "," not in line and "ms)" in line:
            names.append(line.split()[3])
    return names


def apply(src, mutant):
    path = os.path.join(src, mutant["file"])
    with open(path, encoding="utf-8") as f:
        text = f.read()
    count = text.count(mutant["find"])
    if count != 1:
        return None, "its text occurs %d times in %s (the list is stale)" % (count, mutant["file"])
    with open(path, "w", encoding="utf-8") as f:
        f.write(text.replace(mutant["find"], mutant["replace"]))
    return text, None


def restore(src, mutant, text):
    with open(os.path.join(src, mutant["file"]), "w", encoding="utf-8") as f:
        f.write(text)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--work", default=os.path.join("/tmp", "tessvane-mutate"),
                    help="the work folder (kept between runs: the next build is incremental)")
    ap.add_argument("--only", help="comma-separated fault ids")
    ap.add_argument("--list", action="store_true", help="list the faults and stop")
    ap.add_argument("--all-tests", action="store_true",
                    help="run every test of the test program for each fault")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    ap.add_argument("--timeout", type=int, default=900, help="seconds for one fault's tests")
    args = ap.parse_args()

    ids = [m["id"] for m in MUTANTS]
    if len(set(ids)) != len(ids):
        sys.exit("two faults share an id")
    chosen = MUTANTS
    if args.only:
        wanted = args.only.split(",")
        unknown = [w for w in wanted if w not in ids]
        if unknown:
            sys.exit("no such fault: " + ", ".join(unknown))
        chosen = [m for m in MUTANTS if m["id"] in wanted]
    if args.list:
        for m in chosen:
            print("%-28s %-34s %s" % (m["id"], m["file"], m["what"]))
        return 0

    os.makedirs(args.work, exist_ok=True)
    # One run a work folder: a second would put files back under the first.
    lock = open(os.path.join(args.work, ".lock"), "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        sys.exit("another tools/mutate.py works in %s; give --work another folder" % args.work)
    src = copy_tree(SOURCE, args.work)
    build_dir = os.path.join(args.work, "build")
    configure(src, build_dir, args.jobs)
    print("Building the unchanged tree in %s ..." % build_dir, flush=True)
    code, out = build(build_dir, args.jobs)
    if code != 0:
        sys.exit("the unchanged tree does not build:\n" + out[-4000:])
    filters = sorted({m.get("tests", "*") for m in chosen})
    baseline = "*" if args.all_tests or "*" in filters else ":".join(filters)
    code, out = test(build_dir, baseline, args.timeout * 2)
    if code != 0:
        sys.exit("the tests fail without any fault planted: " + ", ".join(failed_tests(out)))

    results = []
    for n, m in enumerate(chosen, 1):
        started = time.time()
        original, problem = apply(src, m)
        if problem:
            verdict, detail = "stale", problem
        else:
            try:
                code, out = build(build_dir, args.jobs)
                if code != 0:
                    verdict, detail = "does not build", out[-600:]
                else:
                    code, out = test(build_dir, "*" if args.all_tests else m.get("tests", "*"),
                                     args.timeout)
                    if code == 0:
                        verdict, detail = "survived", ""
                    else:
                        verdict = "caught"
                        detail = ", ".join(failed_tests(out)[:3]) or out.strip()[-200:]
            finally:
                restore(src, m, original)
        results.append((m, verdict, detail))
        print("[%2d/%d] %-14s %-28s %3.0f s  %s" % (n, len(chosen), verdict, m["id"],
                                                   time.time() - started, detail[:110]),
              flush=True)

    caught = sum(1 for _, v, _ in results if v == "caught")
    print()
    print("%d of %d faults caught" % (caught, len(results)))
    bad = False
    for m, verdict, detail in results:
        if verdict == "caught":
            continue
        reason = m.get("reason")
        if verdict == "survived" and reason:
            print("  survived (accepted): %s: %s" % (m["id"], reason))
            continue
        bad = True
        print("  %s: %s (%s): %s" % (verdict, m["id"], m["file"], m["what"]))
        if detail and verdict != "survived":
            print("      " + detail.strip().replace("\n", "\n      "))
    # Leave the work tree's build as the unchanged tree's.
    build(build_dir, args.jobs)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
