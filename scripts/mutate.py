#!/usr/bin/env python3
"""Plants one-line faults in the code, one at a time, and tells which ones the tests miss.

Each fault in scripts/mutations.txt names a file, the test program that should catch
it, an optional GoogleTest filter, the line as it stands and the line that replaces
it. The script works on a copy of the tree in build/mutate/src, so the working tree
and its builds are never touched: for each fault it rewrites the copy's file,
rebuilds only that test program in build/mutate/build, runs it, and puts the file
back. A fault is caught when the test program fails (or does not build); it
survives when the program passes.

    scripts/mutate.py                 # every fault in the list
    scripts/mutate.py dop-pcm seek    # only the named ones

It exits 1 when a fault survives. Not part of the test command: run it before
closing work on the engine, and add a fault to the list for every one mended.
"""
import os
import pathlib
import shutil
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
SOURCE = ROOT / "build" / "mutate" / "src"
BUILD = ROOT / "build" / "mutate" / "build"


def load(path):
    faults, current = [], {}
    for raw in path.read_text().splitlines() + [""]:
        line = raw.rstrip("\n")
        if line.startswith("#"):
            continue
        if not line.strip():
            if current:
                faults.append(current)
            current = {}
            continue
        key, _, value = line.partition(":")
        current[key.strip()] = value[1:] if value.startswith(" ") else value
    for f in faults:
        for key in ("name", "file", "test", "find", "replace"):
            if key not in f:
                sys.exit(f"mutations.txt: a fault lacks '{key}': {f}")
    return faults


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=SOURCE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def copy_tree():
    """Brings the copy up to date with the working tree; unchanged files keep their
    times, so the copy's build stays incremental."""
    listed = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            cwd=ROOT, stdout=subprocess.PIPE, check=True).stdout.split(b"\0")
    for name in filter(None, listed):
        src, dst = ROOT / name.decode(), SOURCE / name.decode()
        if not src.is_file():
            continue
        if dst.is_file() and dst.read_bytes() == src.read_bytes():
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(src, dst)


def main():
    faults = load(ROOT / "scripts" / "mutations.txt")
    wanted = set(sys.argv[1:])
    if wanted:
        faults = [f for f in faults if f["name"] in wanted]
    env = dict(os.environ, CCACHE_DIR=os.environ.get("CCACHE_DIR", str(pathlib.Path.home() / ".cache/pelmora-ccache")))
    print(f"copying the tree to {SOURCE.relative_to(ROOT)}, building the test programs once", flush=True)
    copy_tree()
    run(["cmake", "-S", ".", "-B", str(BUILD), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
         "-DPELMORA_BENCH=OFF"], env=env)
    targets = sorted({f["test"] for f in faults})
    base = run(["cmake", "--build", str(BUILD), "--target", *targets], env=env)
    if base.returncode != 0:
        sys.exit("the unchanged tree does not build:\n" + base.stdout[-3000:])
    survivors = []
    for f in faults:
        path = SOURCE / f["file"]
        original = path.read_text()
        if original.count(f["find"]) != 1:
            print(f"{f['name']:32} STALE: the line is not found exactly once in {f['file']}")
            survivors.append(f["name"])
            continue
        try:
            path.write_text(original.replace(f["find"], f["replace"]))
            build = run(["cmake", "--build", str(BUILD), "--target", f["test"]], env=env)
            if build.returncode != 0:
                verdict = "caught (does not build)"
            else:
                cmd = [str(BUILD / "tests" / f["test"])]
                if f.get("filter"):
                    cmd.append("--gtest_filter=" + f["filter"])
                env_test = dict(env, SONARA_PLUGIN_DIR=str(BUILD / "plugins"))
                try:
                    result = run(cmd, env=env_test, timeout=600)
                    verdict = "caught" if result.returncode != 0 else "SURVIVED"
                except subprocess.TimeoutExpired:
                    verdict = "caught (timed out)"
        finally:
            path.write_text(original)
        if verdict == "SURVIVED":
            survivors.append(f["name"])
        print(f"{f['name']:32} {verdict}", flush=True)
    # Leave the build matching the tree again.
    run(["cmake", "--build", str(BUILD), "--target", *targets], env=env)
    print(f"{len(faults) - len(survivors)} caught, {len(survivors)} survived"
          + (": " + ", ".join(survivors) if survivors else ""))
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
