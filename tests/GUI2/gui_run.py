#!/usr/bin/env python3
"""Runs one wizard scenario on a private virtual X server with a private home
folder and checks what it leaves behind (workbook, settings file, profile).
The driver checks the windows themselves.

usage: gui_run.py SCENARIO DRIVER ARTIFACT_DIR SOURCE_DIR
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

scenario, driver, artifacts, source_dir = sys.argv[1:5]
sys.path.insert(0, os.path.join(source_dir, "tools"))
import pdfgen  # noqa: E402

os.makedirs(artifacts, exist_ok=True)
work = tempfile.mkdtemp(prefix="wizgui_")
home = os.path.join(work, "home")
os.makedirs(home)
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
           TBX_GUI_SCENARIO=scenario, TBX_GUI_WORK=work, TBX_GUI_SHOTS=artifacts, NO_AT_BRIDGE="1", GTK_A11Y="none")
settings_file = os.path.join(home, ".config", "Vantrel", "Tabrixa", "settings")
src = os.path.join(work, "report.pdf")
dest = os.path.join(work, "out", "report.xls")
env.update(TBX_GUI_SRC=src, TBX_GUI_DEST=dest)
os.makedirs(os.path.dirname(dest))
pdfgen.write(src, [pdfgen.text(72, 700, "Quarter") + pdfgen.text(200, 700, "Sales") +
                   pdfgen.text(72, 680, "Q1") + pdfgen.text(200, 680, "1200"),
                   pdfgen.text(72, 700, "Second page"),
                   pdfgen.text(72, 700, "Third page")])


def fail(msg):
    print("FAILED:", msg)
    sys.exit(1)


def profile(path, **keys):
    with open(path, "w") as f:
        f.write("[Generic settings]\r\n")
        for k, v in keys.items():
            f.write("%s=%s\r\n" % (k, v))


def start_display():
    """A virtual X server of its own: Xvfb picks a free display number itself
    (-displayfd), so scenarios may run side by side, also with other builds."""
    r, w = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            break
        number += chunk
    os.close(r)
    if not number.strip():
        server.kill()
        fail("Xvfb did not start")
    return server, ":" + number.decode().strip()


def run(*args, expect=0, program=None):
    server, display = start_display()
    start = time.time()
    try:
        p = subprocess.run([program or driver] + list(args), env=dict(env, DISPLAY=display), stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=100)
    finally:
        server.terminate()
        server.wait()
    print(p.stdout.decode(errors="replace"))
    print("%s took %.1f s, exit %d" % (scenario, time.time() - start, p.returncode))
    if p.returncode != expect:
        fail("driver exit code %d" % p.returncode)


def check_workbook(path, pages):
    import xlrd
    if not os.path.exists(path):
        fail("no workbook " + path)
    book = xlrd.open_workbook(path)
    names = book.sheet_names()
    if names != ["Page_%d" % (i + 1) for i in range(pages)]:
        fail("sheets %r" % names)
    return book


def saved_settings(**values):
    """Settings as a last session left them."""
    os.makedirs(os.path.dirname(settings_file), exist_ok=True)
    with open(settings_file, "w") as f:
        f.write("# Tabrixa settings: TYPE NAME=VALUE\n")
        for k, v in values.items():
            f.write("sz %s=%s\n" % (k, v))
    return settings_text()


def quick_launch_refused(prof):
    """A quick launch that must not start: the last workbook and the saved
    settings stay as they were."""
    with open(dest, "w") as f:
        f.write("old")
    before = saved_settings(src=src, dest=dest)
    run(prof)
    with open(dest) as f:
        if f.read() != "old":
            fail("the saved source was converted over the last workbook")
    if settings_text() != before:
        fail("the saved settings changed: %r" % settings_text())
    if [n for n in os.listdir(work) if n.endswith(".xls")]:
        fail("a workbook was written: %r" % os.listdir(work))


def settings_text():
    if not os.path.exists(settings_file):
        fail("no settings file")
    with open(settings_file, "rb") as f:
        return f.read()


try:
    if scenario == "smoke":
        # A rejected profile takes nothing: the file page then opens empty.
        profile(os.path.join(work, "bad.tbx"), src=src, dest=dest, pages="3-1")
        # A copy without the help pages beside it.
        copy = os.path.join(work, "wizard")
        shutil.copy(driver, copy)
        run(program=copy)
    elif scenario == "convert":
        run()
        sheet = check_workbook(dest, 3).sheet_by_index(0)
        cells = [sheet.cell_value(r, c) for r in range(sheet.nrows) for c in range(sheet.ncols)]
        if "Quarter" not in cells or "Q1" not in cells:
            fail("first sheet lacks its text: %r" % cells)
        if src.encode() not in settings_text():
            fail("settings file lacks the source")
        saved = os.path.join(work, "saved.tbx")
        if not os.path.exists(saved) or os.stat(saved).st_mode & 0o777 != 0o600:
            fail("profile not saved for its owner only")
        with open(saved) as f:
            if "src=" + src not in f.read():
                fail("profile lacks the source")
    elif scenario == "quick":
        prof = os.path.join(work, "quick.tbx")
        profile(prof, src=src, dest=dest, pages="2")
        run(prof)
        check_workbook(dest, 1)
    elif scenario == "quickdefault":
        # The saved destination is another document's workbook: it stays.
        other = os.path.join(work, "out", "other.xls")
        with open(other, "w") as f:
            f.write("old")
        saved_settings(src=src, dest=other)
        prof = os.path.join(work, "quick.tbx")
        profile(prof, src=src)
        run(prof)
        with open(other) as f:
            if f.read() != "old":
                fail("the saved destination was replaced")
        check_workbook(os.path.splitext(src)[0] + ".xls", 3)
    elif scenario == "save":
        # A link planted in a shared sticky folder by another user.
        import pwd
        shared = os.path.join(work, "shared")
        os.mkdir(shared)
        os.chmod(shared, 0o1777)
        victim = os.path.join(work, "victim.txt")
        with open(victim, "w") as f:
            f.write("victim")
        planted = os.path.join(shared, "saved.tbx")
        os.symlink(victim, planted)
        if os.geteuid() != 0:
            print("not root: no link of another user")
            sys.exit(77)
        nobody = pwd.getpwnam("nobody")
        os.lchown(planted, nobody.pw_uid, nobody.pw_gid)
        kept = os.path.join(work, "kept.tbx")
        with open(kept, "w") as f:
            f.write("old profile\n")
        prof = os.path.join(work, "quick.tbx")
        profile(prof, src=src, dest=dest, password="pw")
        run(prof)
        with open(victim) as f:
            if f.read() != "victim":
                fail("the planted link's target received the profile")
        if sorted(os.listdir(shared)) != ["saved.tbx"]:
            fail("files left in the shared folder: %r" % os.listdir(shared))
        with open(kept) as f:
            if "src=" + src not in f.read():
                fail("Yes did not replace the profile")
    elif scenario == "badpass":
        if not shutil.which("qpdf"):
            print("qpdf missing: no encrypted PDF")
            sys.exit(77)
        locked = os.path.join(work, "locked.pdf")
        subprocess.run(["qpdf", "--encrypt", "right", "right", "256", "--", src, locked], check=True)
        prof = os.path.join(work, "bad.tbx")
        profile(prof, src=locked, dest=dest, password="wrongpass")
        run(prof)
        if os.path.exists(dest):
            fail("a workbook was written")
        if b"wrongpass" in settings_text():
            fail("the password reached the settings file")
    elif scenario == "cancel":
        with open(dest, "w") as f:
            f.write("old")
        prof = os.path.join(work, "cancel.tbx")
        profile(prof, src=src, dest=dest)
        run(prof)
        with open(dest) as f:
            if f.read() != "old":
                fail("the old workbook was replaced by a cancelled run")
        if [n for n in os.listdir(os.path.dirname(dest)) if n != "report.xls"]:
            fail("a cancelled run left files: %r" % os.listdir(os.path.dirname(dest)))
        if src.encode() not in settings_text():
            fail("a cancelled wizard did not save its settings")
    elif scenario == "questions":
        # Escape and the close box answer No: the workbook is replaced only
        # after Yes, the profile never.
        with open(dest, "w") as f:
            f.write("old")
        kept = os.path.join(work, "kept.tbx")
        with open(kept, "w") as f:
            f.write("old profile\n")
        run()
        check_workbook(dest, 3)
        with open(kept) as f:
            if f.read() != "old profile\n":
                fail("the profile was replaced")
    elif scenario == "manywarnings":
        # Six pages, the last five of which the page tree names objects that
        # are not there: five warnings, one page converted.
        data = pdfgen.build([pdfgen.text(72, 700, "page %d" % (i + 1)) for i in range(6)], compress=False)
        start = data.index(b"/Kids [") + 7
        kids = data[start:data.index(b"]", start)].split(b" R")
        for k in range(1, 6):
            kids[k] = b" %d 0" % (90 + k)
        data = data[:start] + b" R".join(kids) + data[data.index(b"]", start):]
        with open(src, "wb") as f:
            f.write(data)
        prof = os.path.join(work, "warnings.tbx")
        profile(prof, src=src, dest=dest)
        run(prof)
        check_workbook(dest, 6)
    elif scenario in ("warning", "refuse"):
        run()
    elif scenario == "internal":
        # The internal error ends the process with -1 after its dialog.
        run(expect=255)
    elif scenario == "missing":
        run(os.path.join(work, "no such.tbx"))
    elif scenario == "nosource":
        # A profile naming only a destination does not convert the saved source there.
        prof = os.path.join(work, "nosource.tbx")
        profile(prof, dest=os.path.join(work, "other.xls"))
        quick_launch_refused(prof)
    elif scenario == "garbage":
        prof = os.path.join(work, "garbage.tbx")
        with open(prof, "wb") as f:
            f.write(random.Random(20).randbytes(3000))
        quick_launch_refused(prof)
    elif scenario == "fifo":
        prof = os.path.join(work, "fifo.tbx")
        os.mkfifo(prof)
        quick_launch_refused(prof)
    elif scenario == "late":
        # Cancel, the run ends while the question is open, then Yes.
        with open(dest, "w") as f:
            f.write("old")
        prof = os.path.join(work, "late.tbx")
        profile(prof, src=src, dest=dest)
        run(prof)
        with open(dest) as f:
            if f.read() != "old":
                fail("Yes after a late end of the run left its workbook")
        if [n for n in os.listdir(os.path.dirname(dest)) if n != "report.xls"]:
            fail("the cancelled run left files: %r" % os.listdir(os.path.dirname(dest)))
    else:
        fail("unknown scenario")
finally:
    shutil.rmtree(work, ignore_errors=True)
print("ok")
