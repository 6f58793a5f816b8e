#!/usr/bin/env python3
"""tessvane-cli --json: one document on standard output whose rows are the
text rows of the same call, names exactly as stored (a name that is not
UTF-8 also byte for byte in hexadecimal)."""
import json
import os
import subprocess
import sys
import tempfile
import zipfile

cli = sys.argv[1]


def run(env, *args):
    r = subprocess.run([cli, *args], env=env, capture_output=True)
    return r.returncode, r.stdout


with tempfile.TemporaryDirectory() as tmp:
    demo = os.path.join(tmp, "demo")
    subprocess.run([cli, "demo", demo], check=True, capture_output=True)
    env = dict(os.environ, TESSVANE_HOME=demo + "/program",
               TESSVANE_REGISTRY=demo + "/registry.reg", HOME=tmp, XDG_DATA_HOME=tmp + "/share",
               XDG_CONFIG_HOME=tmp + "/config", TESSVANE_SYSTEM_ROOT=tmp + "/machine",
               TESSVANE_PROC_ROOT=tmp + "/proc")
    os.makedirs(tmp + "/proc")
    # A name that is not UTF-8, as a server may send one.
    with open(demo + "/UT2003/Cache/Cache.ini", "ab") as ini:
        ini.write(b"0123456789ABCDEF0123456789ABCDEF=DM-Caf\xe9.ut2\r\n")
    for state in ([], ["--state"]):
        status, text = run(env, "scan", *state)
        jstatus, doc = run(env, "scan", *state, "--json")
        assert status == jstatus == 0, (status, jstatus)
        document = json.loads(doc)  # nothing else on standard output
        lines = text.split(b"\n")[:-1]
        rows = [line.split(b"\t") for line in lines[:-1]]
        assert len(rows) == len(document["rows"]), (len(rows), len(document["rows"]))
        for fields, row in zip(rows, document["rows"]):
            name = bytes.fromhex(row["name_hex"]) if "name_hex" in row else row["name"].encode()
            assert fields[0] == (b"1" if row["ticked"] else b"0"), (fields, row)
            assert fields[1] == name or b"\\x" in fields[1], (fields, row)  # text escapes controls
            assert fields[2].decode() == row["date"], (fields, row)
            assert fields[3] == (b"True" if row["never_move"] else b""), (fields, row)
            if state:
                assert fields[4].decode() == row["state"], (fields, row)
            else:
                assert "state" not in row, row
        assert lines[-1].decode() == document["status"], (lines[-1], document["status"])
        odd = [r for r in document["rows"] if "name_hex" in r]
        assert len(odd) == 1 and bytes.fromhex(odd[0]["name_hex"]) == b"DM-Caf\xe9.ut2", odd
        assert odd[0]["name"] == "DM-Caf\ufffd.ut2", odd
    status, text = run(env, "games")
    jstatus, doc = run(env, "games", "--json")
    installs = json.loads(doc)["installs"]
    assert status == jstatus, (status, jstatus)
    assert [l.split(b"\t")[3].decode() for l in text.split(b"\n")[:-1]] == \
        [i["game_folder"] for i in installs], (text, installs)
    assert all(isinstance(i["entries"], int) and isinstance(i["number"], int) for i in installs)
    # The never-move list and, after a run, the undo log.
    status, text = run(env, "never-move", "list")
    lines = json.loads(run(env, "never-move", "list", "--json")[1])["lines"]
    assert [l["text"].encode() for l in lines] == text.split(b"\n")[:-1], (text, lines)
    assert run(env, "run")[0] == 0
    status, text = run(env, "undo", "--list")
    jstatus, doc = run(env, "undo", "--list", "--json")
    document = json.loads(doc)
    assert status == jstatus == 0 and document["moves"], (status, jstatus, document)
    listed = [l.split(b"\t") for l in text.split(b"\n")[:-1]]
    assert [[m["date"], m["new_path"], m["cache_file"]] for m in document["moves"]] == \
        [[f.decode() for f in l] for l in listed[:len(document["moves"])]], (listed, document)
    assert run(env, "undo", "--json")[0] == 2  # --json only lists
    # A map archive previewed, installing nothing: the text's fields and lines.
    archive = os.path.join(tmp, "zed.zip")
    with zipfile.ZipFile(archive, "w") as z:
        z.write(demo + "/UT2003/Maps/DM-Antalus.ut2", "DM-Zed.ut2")
        z.writestr("DM-Zed.txt", "Fine\r\nby me\r\n")
    status, text = run(env, "zip", "--dry-run", archive)
    jstatus, doc = run(env, "zip", "--dry-run", "--json", archive)
    [zed] = json.loads(doc)["archives"]
    assert status == jstatus == 0 and not zed["installed"], (status, jstatus, zed)
    assert text.decode() == "Map Name: %s\nDescription:\n%s%s\n" % (
        zed["map_name"], zed["description"],
        "\n".join(n["text"] for n in zed["needs"])), (text, zed)
    assert not os.path.exists(demo + "/UT2003/Maps/DM-Zed.ut2")
    # The tidy's findings: each one a line of the text, the summary its last.
    for name in (b"DEADBEEF" * 4 + b".uxx", b"Caf\xe9.uxx"):
        with open(os.path.join(os.fsencode(demo), b"UT2003/Cache", name), "wb") as f:
            f.write(b"stray")
    status, text = run(env, "tidy", "--dry-run")
    jstatus, doc = run(env, "tidy", "--dry-run", "--json")
    tidy = json.loads(doc)
    lines = text.decode(errors="surrogateescape").split("\n")[:-1]
    assert status == jstatus == 0 and tidy["dry_run"], (status, jstatus, tidy)
    assert lines[-1] == tidy["summary"] and len(tidy["orphans"]) == 2, (lines, tidy)
    said = [f["file"] + " (%d bytes)" % f["size"] for f in tidy["orphans"] if "file_hex" not in f]
    said += ["Deleted %s {%s} (%d bytes)" % (f["file"], f["package"], f["size"])
             for f in tidy["duplicates"]]
    assert all(any(s in l for l in lines) for s in said), (said, lines)
    assert [f for f in tidy["orphans"] if "file_hex" in f][0]["file_hex"] == "436166e92e757878"
    # A map's facts: the text row and the document say the same; its picture
    # is a PNG, and a package without one writes nothing.
    status, text = run(env, "info", "CTF-Face3.ut2")
    jstatus, doc = run(env, "info", "--json", "CTF-Face3.ut2")
    [face] = json.loads(doc)["maps"]
    fields = text.decode().rstrip("\n").split("\t")
    assert status == jstatus == 0, (status, jstatus)
    assert fields[:5] == ["CTF-Face3.ut2", face["title"], face["author"], face["players"],
                          face["game_type"]], (fields, face)
    assert face["players_min"] < face["players_max"] and face["picture"]["width"] > 0, face
    assert fields[6] == "%dx%d %s" % (face["picture"]["width"], face["picture"]["height"],
                                      face["picture"]["format"]), (fields, face)
    png = os.path.join(tmp, "face.png")
    assert run(env, "picture", "CTF-Face3.ut2", "--to", png)[0] == 0
    with open(png, "rb") as f:
        assert f.read(8) == b"\x89PNG\r\n\x1a\n"
    assert run(env, "picture", "BonusPack.u", "--to", png + "2")[0] == 1
    assert not os.path.exists(png + "2")
print("json output: ok")
