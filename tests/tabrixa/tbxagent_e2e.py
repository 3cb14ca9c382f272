#!/usr/bin/env python3
"""End-to-end runs of tbxagent as a user runs it: messages, exit codes, files.

usage: tbxagent_e2e.py TBXAGENT SOURCE_DIR GROUP
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

EXE, SRC_DIR, GROUP = sys.argv[1], sys.argv[2], sys.argv[3]
sys.path.insert(0, os.path.join(SRC_DIR, "tools"))
import pdfgen  # noqa: E402

USAGE = (
    "TBXAGENT v2.5\n"
    "Usage: TBXAGENT.EXE OPTIONS\n"
    "\n"
    "   --dest=...    path to the destination MS Excel workbook\n"
    "   --help        display this help message and exit\n"
    "   --no_graph    don't recognize graphical tables\n"
    "   --pages=...   page numbers and/or pages ranges separated by commas.\n"
    "                 For example: 1,3,5-10\n"
    "   --profile=... path to the file to load conversion settings from\n"
    "   --pswd=...    password for the source PDF document (if any)\n"
    "   --src=...     path to the source PDF document\n"
    "\n"
    "NOTE: command line parameters that contain spaces should be enclosed in\n"
    "quotes (for example --dest=\"c:\\my documents\\my report.xls\")\n")
UNREADABLE = ("Error:\nThe program cannot read PDF document. It might be corrupted or "
              "does not comply with Adobe PDF format.\n")
SOURCE_MISSING = "Source file does not exist.\nPlease verify the correct file name was given.\n"

failures = []
work = tempfile.mkdtemp(prefix="tbxagent_e2e_")


def path(*names):
    return os.path.join(work, *names)


def run(*args, cwd=None):
    env = dict(os.environ, XDG_CONFIG_HOME=path("config"))
    p = subprocess.run([EXE] + list(args), cwd=cwd or work, capture_output=True, text=True, timeout=120, env=env)
    return p.returncode, p.stdout, p.stderr


def check(name, got, want):
    if got != want:
        failures.append("%s:\n  want %r\n  got  %r" % (name, want, got))


def expect(name, args, rc, stdout="", stderr="", cwd=None):
    got = run(*args, cwd=cwd)
    if got[0] < 0:
        failures.append("%s: killed by signal %d (crash)" % (name, -got[0]))
        return
    check(name, got, (rc, stdout, stderr))


def make_pdf(name, pages=2):
    pdfgen.write(path(name), [pdfgen.text(72, 700, "page %d" % (i + 1)) for i in range(pages)])
    return path(name)


def sheets(xls):
    """Sheet names and first-row texts, through xlrd when present, else the raw names."""
    try:
        import xlrd
    except ImportError:
        data = open(xls, "rb").read()
        return [("Page_%d" % i, None) for i in range(1, 200) if b"Page_%d" % i in data]
    book = xlrd.open_workbook(xls)
    out = []
    for s in book.sheets():
        texts = [str(c.value) for r in range(s.nrows) for c in s.row(r) if c.value != ""]
        out.append((s.name, " ".join(texts)))
    return out


def group_usage():
    make_pdf("a.pdf")
    expect("no arguments", [], 255, stderr=USAGE)
    expect("six arguments", ["--src=a.pdf"] * 6, 255, stderr=USAGE)
    expect("--help", ["--help"], 255, stderr=USAGE)
    expect("--helpme matches --help", ["--src=a.pdf", "--helpme"], 255, stderr=USAGE)
    expect("unknown option", ["--src=a.pdf", "--bogus"], 255, stderr=USAGE)
    expect("x--help is unknown", ["x--help"], 255, stderr=USAGE)
    check("nothing written", os.path.exists(path("a.xls")), False)


def group_source():
    os.mkdir(path("folder.pdf"))
    expect("no source", ["--dest=x.xls"], 255, stderr="You should specify source file\n")
    expect("empty source", ["--src="], 255, stderr="You should specify source file\n")
    expect("missing source", ["--src=missing.pdf"], 255, stderr=SOURCE_MISSING)
    # Each says what the source is.
    expect("folder as source", ["--src=folder.pdf"], 255,
           stderr="Source name specifies a folder, not a file.\nPlease give the name of a PDF document.\n")
    os.mkfifo(path("pipe.pdf"))
    for name in ["pipe.pdf", "/dev/null"]:
        expect("not a file: " + name, ["--src=" + name], 255,
               stderr="Source name specifies a device, pipe or socket, not a file.\n"
                      "Please give the name of a PDF document.\n")
    os.symlink("loop.pdf", path("loop.pdf"))
    expect("link loop", ["--src=loop.pdf"], 255, stderr="Source name is a symbolic link that leads round in a loop."
                                                        "\nPlease verify the correct file name was given.\n")
    # A name whose only dot comes first is all stem.
    make_pdf(".hidden")
    expect("dot file", ["--src=.hidden"], 0)
    check(".hidden.xls", os.path.exists(path(".hidden.xls")), True)


def group_pages():
    make_pdf("a.pdf")
    for pages in ["3-3", "4-2", "0", "2147483648", "1-99999999999", "1-2147483647", "abc", "1;2", "1.5", "1x",
                  "1 2", "1e3"]:
        expect("pages " + pages, ["--pages=" + pages, "--src=a.pdf"], 255,
               stdout="Error:\nInvalid page range: \"%s\"\n" % pages)
    expect("pages 1,,2", ["--pages=1,,2", "--src=a.pdf"], 255, stdout="Error:\nInvalid page range: \"\"\n")
    check("nothing written", os.path.exists(path("a.xls")), False)


def group_password():
    src = make_pdf("plain.pdf")
    enc = path("enc.pdf")
    subprocess.run(["qpdf", "--encrypt", "user", "owner", "256", "--", src, enc], check=True)
    expect("no password", ["--src=enc.pdf"], 255,
           stdout="Error:\nThe document is protected by a password: it cannot be read without it. "
                  "Please give it with --pswd=...\n")
    expect("wrong password", ["--src=enc.pdf", "--pswd=nope"], 255, stdout="Error:\nIncorrect password\n")
    # The PDF core is never handed more of a password than it reads.
    expect("long wrong password", ["--src=enc.pdf", "--pswd=" + "x" * 1000], 255,
           stdout="Error:\nIncorrect password\n")
    check("no workbook after a wrong password", os.path.exists(path("enc.xls")), False)
    expect("right password", ["--src=enc.pdf", "--pswd=user"], 0)
    check("pages of the encrypted document", [s[0] for s in sheets(path("enc.xls"))], ["Page_1", "Page_2"])
    # A revision the PDF core cannot decrypt must not pass for an unencrypted file.
    with open(enc, "rb") as f:
        data = f.read()
    assert data.count(b"/R 6 ") == 1
    with open(path("rev7.pdf"), "wb") as f:
        f.write(data.replace(b"/R 6 ", b"/R 7 "))
    unsupported = "Error:\nThe document is encrypted with a method this program does not support: it cannot be read.\n"
    expect("unsupported revision", ["--src=rev7.pdf", "--pswd=user"], 255, stdout=unsupported)
    expect("unsupported revision, no password", ["--src=rev7.pdf"], 255, stdout=unsupported)
    check("no workbook after an unsupported revision", os.path.exists(path("rev7.xls")), False)


def group_unreadable():
    with open(path("text.pdf"), "w") as f:
        f.write("this is not a PDF document\n")
    expect("not a PDF", ["--src=text.pdf"], 255, stdout=UNREADABLE)
    data = pdfgen.build([pdfgen.text(72, 700, "x")])
    with open(path("cut.pdf"), "wb") as f:
        f.write(data[:80])
    expect("truncated PDF", ["--src=cut.pdf"], 255, stdout=UNREADABLE)
    open(path("empty.pdf"), "wb").close()
    expect("empty file", ["--src=empty.pdf"], 255, stdout=UNREADABLE)
    for name in ["text.xls", "cut.xls", "empty.xls"]:
        check("no workbook " + name, os.path.exists(path(name)), False)


def group_dest():
    os.mkdir(path("in"))
    os.mkdir(path("out"))
    make_pdf(os.path.join("in", "a.pdf"))
    # Run from another folder: the default destination is beside the source.
    expect("default destination", ["--src=../in/a.pdf"], 0, cwd=path("out"))
    check("a.xls beside the source", os.path.exists(path("in", "a.xls")), True)
    check("nothing in the current folder", os.listdir(path("out")), [])
    expect("folder as destination", ["--src=in/a.pdf", "--dest=out"], 255,
           stdout="Error:\nDestination name should specify a file, not folder.\n")
    expect("missing folder", ["--src=in/a.pdf", "--dest=nowhere/a.xls"], 255,
           stdout="Error:\nDestination path does not exist. Please verify the correct path was given.\n")
    is_source = "Error:\nDestination name specifies the source file. Please give another destination name.\n"
    before = open(path("in", "a.pdf"), "rb").read()
    expect("destination is the source", ["--src=in/a.pdf", "--dest=in/../in/a.pdf"], 255, stdout=is_source)
    check("source untouched", open(path("in", "a.pdf"), "rb").read(), before)
    shutil.copy(path("in", "a.pdf"), path("in", "x.xls"))
    expect("source named .xls", ["--src=in/x.xls"], 255, stdout=is_source)
    check("x.xls untouched", open(path("in", "x.xls"), "rb").read(), before)
    # Devices and pipes are refused before the first page, never written or opened.
    not_regular = ("Error:\nDestination name specifies a device, pipe or socket, not a file. "
                   "Please give the name of a regular file.\n")
    expect("full device", ["--src=in/a.pdf", "--dest=/dev/full"], 255, stdout=not_regular)
    os.mkfifo(path("out", "pipe.xls"))
    expect("pipe", ["--src=in/a.pdf", "--dest=out/pipe.xls"], 255, stdout=not_regular)
    os.remove(path("out", "pipe.xls"))
    # Source and destination swapped: another PDF is never replaced by a workbook.
    make_pdf(os.path.join("out", "other.pdf"))
    before = open(path("out", "other.pdf"), "rb").read()
    expect("destination is a PDF", ["--src=in/a.pdf", "--dest=out/other.pdf"], 255,
           stdout="Error:\nDestination name specifies a PDF document, which the workbook would replace. "
                  "Please give the workbook's name (for example report.xls).\n")
    check("the PDF untouched", open(path("out", "other.pdf"), "rb").read(), before)
    os.remove(path("out", "other.pdf"))
    # Another user's file in a shared folder (sticky, everyone may write) is
    # not replaced, not even by root: the workbook would take its owner and mode.
    if os.geteuid() == 0:
        import pwd
        nobody = pwd.getpwnam("nobody")
        os.mkdir(path("shared"))
        os.chmod(path("shared"), 0o1777)
        planted = path("shared", "a.xls")
        with open(planted, "w") as f:
            f.write("planted")
        os.chown(planted, nobody.pw_uid, nobody.pw_gid)
        os.chmod(planted, 0o666)
        expect("another user's file in a shared folder", ["--src=in/a.pdf", "--dest=" + planted], 255,
               stdout="Error:\nDestination name specifies another user's file in a shared folder, which cannot "
                      "be replaced. Please give another destination name.\n")
        st = os.stat(planted)
        check("the planted file untouched", (open(planted).read(), st.st_uid, st.st_mode & 0o777),
              ("planted", nobody.pw_uid, 0o666))
    expect("explicit destination", ["--src=in/a.pdf", "--dest=out/b.xls", "--no_graph"], 0)
    check("b.xls written", os.path.exists(path("out", "b.xls")), True)
    # A file system mounted read-only (in a mount namespace of the run's own), for a new and an existing file.
    os.mkdir(path("ro"))
    script = ('mount -t tmpfs none "$1" && touch "$1/old.xls" && mount -o remount,ro "$1" || exit 99; '
              'for d in new old; do "$2" --src="$3" --dest="$1/$d.xls"; echo "rc=$?"; done')
    p = subprocess.run(["unshare", "-m", "sh", "-c", script, "sh", path("ro"), EXE, path("in", "a.pdf")],
                       capture_output=True, text=True)
    if p.returncode != 99 and "Operation not permitted" not in p.stderr:
        read_only = "Error:\nDestination is on a read-only file system. Please choose a place you may write to.\n"
        check("read-only file system", p.stdout, (read_only + "rc=255\n") * 2)


def group_deep():
    """Relative names below a folder deeper than a full path may be."""
    make_pdf("a.pdf")
    here = os.getcwd()
    os.chdir(work)
    try:
        for _ in range(25):
            os.mkdir("d" * 200)
            os.chdir("d" * 200)
        shutil.copy(path("a.pdf"), "a.pdf")
        expect("relative source and destination", ["--src=a.pdf", "--dest=b.xls"], 0, cwd=".")
        expect("default destination", ["--src=a.pdf"], 0, cwd=".")
        check("workbooks written", sorted(os.listdir(".")), ["a.pdf", "a.xls", "b.xls"])
        expect("destination path too long", ["--src=a.pdf", "--dest=" + "x/" * 2100 + "c.xls"], 255, cwd=".",
               stdout="Error:\nDestination path is too long. Please give a shorter path.\n")
        expect("source name too long", ["--src=" + "x" * 300 + ".pdf"], 255, cwd=".",
               stderr="Source file name is too long.\nPlease verify the correct file name was given.\n")
    finally:
        os.chdir(here)


def group_convert():
    make_pdf("three.pdf", 3)
    expect("page list", ["--src=three.pdf", "--pages=3, 1-2 ,3,9", "--dest=list.xls"], 0)
    got = sheets(path("list.xls"))
    check("sheet names", [s[0] for s in got], ["Page_1", "Page_2", "Page_3", "Page_4"])
    if got and got[0][1] is not None:
        check("sheet texts", [s[1] for s in got], ["page 3", "page 1", "page 2", "page 3"])
    expect("no listed page in the document", ["--src=three.pdf", "--pages=4,9", "--dest=none.xls"], 255,
           stdout="Error:\nNo page was converted: every listed page is beyond the end of the document, "
                  "which has 3 pages.\n")
    check("no workbook without pages", os.path.exists(path("none.xls")), False)
    pdfgen.write(path("sample.pdf"), pdfgen.sample_pages())
    expect("sample", ["--src=sample.pdf"], 0)
    got = sheets(path("sample.xls"))
    check("sample sheets", [s[0] for s in got], ["Page_1", "Page_2"])
    if got and got[0][1] is not None:
        check("sample text", "Quarterly report" in got[0][1] and "1350.5" in got[0][1], True)


def group_profile():
    make_pdf("a.pdf", 3)
    with open(path("p.ini"), "wb") as f:
        f.write(b"[Generic settings]\r\nsrc=a.pdf\r\ndest=prof.xls\r\npages=2\r\ngraph_tab=0\r\n"
                b"logfile=" + path("run.log").encode() + b"\r\n")
    expect("profile with CR LF and a logfile", ["--profile=p.ini"], 0)
    check("profile pages", [s[0] for s in sheets(path("prof.xls"))], ["Page_1"])
    check("no log is made", os.path.exists(path("run.log")), False)
    expect("option after the profile wins", ["--profile=p.ini", "--dest=later.xls"], 0)
    check("later.xls", os.path.exists(path("later.xls")), True)
    expect("missing profile", ["--src=a.pdf", "--profile=none.ini"], 255,
           stdout="Error:\nProfile does not exist. Please verify the correct path/name was given.\n")
    # A key before the first section is skipped alone; comments and tabs are
    # what they look like.
    with open(path("bad.ini"), "w") as f:
        f.write("; my settings\nsrc=a.pdf\n[Generic settings]\n\tdest = bad.xls\n")
    expect("key before the section is skipped", ["--profile=bad.ini"], 255, stderr="You should specify source file\n")
    with open(path("tab.ini"), "w") as f:
        f.write("# converted nightly\n[Generic settings]\n\tsrc = a.pdf\n\tdest = tab.xls \n\tpages = 1\n")
    expect("comments and tabs", ["--profile=tab.ini"], 0)
    check("tab.xls", [s[0] for s in sheets(path("tab.xls"))], ["Page_1"])
    # Saved by Windows Notepad: a byte-order mark, names in any letter case.
    with open(path("bom.ini"), "wb") as f:
        f.write(b"\xef\xbb\xbf[generic settings]\r\nSRC=a.pdf\r\nDest=bom.xls\r\n")
    expect("profile with a byte-order mark", ["--profile=bom.ini"], 0)
    check("bom.xls", os.path.exists(path("bom.xls")), True)
    # No profile at all: an error naming it, and no default workbook is written.
    os.mkfifo(path("fifo.ini"))
    with open(path("empty.ini"), "w") as f:
        f.write("; nothing yet\n")
    for name, what in [("a.pdf", "sets nothing: it holds no known key of [Generic settings] (src, dest, pages, ...)."),
                       ("empty.ini", "sets nothing: it holds no known key of [Generic settings] (src, dest, pages, "
                                     "...)."),
                       ("/dev/zero", "is a device, pipe or socket, not a settings file."),
                       ("fifo.ini", "is a device, pipe or socket, not a settings file."),
                       (".", "is a folder, not a settings file.")]:
        expect("not a profile: " + name, ["--src=a.pdf", "--profile=" + name], 255,
               stdout="Error:\nProfile \"%s\" %s Please verify the correct path/name was given.\n" % (name, what))
    check("nothing written for a non-profile", os.path.exists(path("a.xls")), False)
    with open(path("log.ini"), "w") as f:
        f.write("[Generic settings]\nlogfile=" + path("nowhere", "x.log") + "\n")
    expect("logfile in a missing folder", ["--src=a.pdf", "--profile=log.ini"], 255,
           stdout="Error:\nLogfile path does not exist. Please verify the correct path was given.\n")
    # A device is never opened to be probed.
    with open(path("log.ini"), "w") as f:
        f.write("[Generic settings]\nlogfile=/dev/null\n")
    expect("logfile on a device", ["--src=a.pdf", "--profile=log.ini"], 255,
           stdout="Error:\nLogfile name specifies a folder, device, pipe or socket, not a file. "
                  "Please give the name of a regular file.\n")


def limited(limits):
    """A preexec function setting resource limits {resource: soft and hard value}."""
    import resource

    def apply():
        for res, value in limits.items():
            resource.setrlimit(res, (value, value))
    return apply


def run_limited(args, limits):
    # Fonts that fontconfig scans under a memory limit come out as none, and it would keep that in its
    # cache: such a run writes its own cache, never the system's (which every later program reads).
    conf = path("fonts.conf")
    if not os.path.exists(conf):
        with open(conf, "w") as f:
            f.write('<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "fonts.dtd">\n<fontconfig><cachedir>%s'
                    '</cachedir><include ignore_missing="yes">/etc/fonts/fonts.conf</include></fontconfig>\n'
                    % path("fontcache"))
    p = subprocess.run([EXE] + args, cwd=work, capture_output=True, text=True, timeout=120,
                       env=dict(os.environ, XDG_CONFIG_HOME=path("config"), FONTCONFIG_FILE=conf),
                       preexec_fn=limited(limits))
    return p.returncode, p.stdout


def old_workbook_only(name, folder, keep):
    """The folder holds `keep` and an untouched old.xls, nothing else (no hidden file)."""
    check(name + ": folder", sorted(os.listdir(folder)), sorted(keep + ["old.xls"]))
    check(name + ": old workbook kept", open(os.path.join(folder, "old.xls"), "rb").read(), b"old")


def group_limits():
    import resource
    import signal
    import time
    # A disk with room for the workbook and a little more, also $TMPDIR: the spill file lies beside the
    # workbook's own temporary file and gives its space to the workbook as that is written.
    pdfgen.write(path("dense.pdf"), ["".join(pdfgen.text(40 + 90 * c, 760 - 12 * r, "r%dc%d %d" % (r, c, p * r * c))
                                             for r in range(60) for c in range(6)) for p in range(60)])
    expect("dense", ["--src=dense.pdf"], 0)
    os.mkdir(path("small"))
    room = os.path.getsize(path("dense.xls")) * 14 // 10 // 1024
    p = subprocess.run(["unshare", "-m", "sh", "-c", 'mount -t tmpfs -o size=%dk none "$1" || exit 99; '
                        'TMPDIR="$1" "$2" --src="$3" --dest="$1/dense.xls"' % room, "sh", path("small"), EXE,
                        path("dense.pdf")], capture_output=True, text=True)
    if p.returncode != 99 and "Operation not permitted" not in p.stderr:
        check("a disk with room for the workbook", (p.returncode, p.stdout, p.stderr), (0, "", ""))
    os.makedirs(path("out"))
    with open(path("out", "old.xls"), "w") as f:
        f.write("old")
    dest = "--dest=" + path("out", "old.xls")

    # A file-size limit below the workbook: reported like a full disk.
    make_pdf("a.pdf", 3)
    got = run_limited(["--src=a.pdf", dest], {resource.RLIMIT_FSIZE: 8192})
    message = "Cannot write '%s': File too large" % path("out", "old.xls")
    check("file-size limit", (got[0], got[1].startswith("Error:\n"), message in got[1]), (255, True, True))
    old_workbook_only("file-size limit", path("out"), [])

    # A memory limit too small for the second page: the first page passes at
    # the smallest limit it needs (found by halving), the second needs tens of
    # megabytes more for its 30000 lines. Address-space limits do not mix with
    # the sanitizers' shadow memory.
    if "asan" not in subprocess.run(["ldd", EXE], capture_output=True, text=True).stdout:
        count, step = 30000, 4.0
        height = count * step + 40
        first = "BT /F1 3.5 Tf 1 0 0 1 10 %.2f Tm (first) Tj ET\n" % (height - 20)
        body = ["BT /F1 3.5 Tf\n"] + ["1 0 0 1 10 %.2f Tm (Line %d) Tj\n" % (height - 20 - i * step, i + 1)
                                       for i in range(count)] + ["ET\n"]
        pdfgen.write(path("lines.pdf"), [first, "".join(body)], media=(100, height))
        low, high = 32 << 20, 1 << 30
        while high - low > (4 << 20):
            mid = (low + high) // 2
            ok = run_limited(["--src=lines.pdf", "--pages=1", "--dest=" + path("one.xls")],
                             {resource.RLIMIT_AS: mid})[0] == 0
            low, high = (low, mid) if ok else (mid, high)
        got = run_limited(["--src=lines.pdf", dest], {resource.RLIMIT_AS: high + (16 << 20)})
        # (Short of memory, the pages may also be searched for ruled tables no more, with a warning.)
        check("memory limit", (got[0], got[1].endswith(
            "Error:\nNot enough memory: the conversion stopped after page 1; no workbook was written.\n")),
            (255, True))
        old_workbook_only("memory limit", path("out"), [])

        # Every address-space limit from the least at which the program starts
        # (its libraries load and it prints its usage) to the first at which
        # it converts: converted, or the out-of-memory report and 255 with the
        # old workbook kept; never a crash inside the PDF core or fontconfig,
        # nor the core's own abort.
        kb = 12 << 10
        while run_limited(["--help"], {resource.RLIMIT_AS: kb << 10})[0] != 255 and kb < (200 << 10):
            kb += 256
        while kb < (200 << 10):
            got = run_limited(["--src=a.pdf", dest], {resource.RLIMIT_AS: kb << 10})
            if got[0] == 0:
                with open(path("out", "old.xls"), "w") as f:
                    f.write("old")
                break
            reported = ("Error:\nNot enough memory: the conversion stopped " in got[1] and
                        got[1].endswith("; no workbook was written.\n"))
            check("%d KiB of address space" % kb, (got[0], reported), (255, True))
            old_workbook_only("%d KiB of address space" % kb, path("out"), [])
            kb += 512

    # SIGHUP (the terminal closed) while the workbook is written: the process
    # is caught in the write (a file open in the destination's folder), held
    # there, and sent the signal.
    pages = []
    for n in range(200):
        pages.append("".join(pdfgen.text(20 + 45 * (c % 12), 770 - 9 * r, "%d.%d" % (n * r + c, c), "F1", 5)
                             for r in range(80) for c in range(12)))
    pdfgen.write(path("big.pdf"), pages)
    folder = path("out") + "/"
    caught = False
    for attempt in range(3):
        p = subprocess.Popen([EXE, "--src=" + path("big.pdf"), dest], cwd=work, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, env=dict(os.environ, XDG_CONFIG_HOME=path("config")))
        fd_dir = "/proc/%d/fd" % p.pid
        while p.poll() is None:
            try:
                links = [os.readlink(os.path.join(fd_dir, fd)) for fd in os.listdir(fd_dir)]
            except OSError:
                continue
            if any(link.startswith(folder) for link in links):
                p.send_signal(signal.SIGSTOP)
                p.send_signal(signal.SIGHUP)
                p.send_signal(signal.SIGCONT)
                caught = True
                break
        rc = p.wait()
        if caught:
            check("SIGHUP ends the program", rc, -signal.SIGHUP)
            old_workbook_only("SIGHUP", path("out"), [])
            break
        time.sleep(0.1)
    check("the write was caught", caught, True)


def stream(data, extra=b""):
    return b"<< %s/Length %d >>\nstream\n" % (extra, len(data)) + data + b"\nendstream"


def one_page_doc(content, resources=b"", more=(), catalog=b"", page=b""):
    """Objects: 1 catalog, 2 pages, 3 page, 4 its content, 5 Helvetica, then more (from 6)."""
    objs = [b"<< /Type /Catalog /Pages 2 0 R %s>>" % catalog, b"<< /Type /Pages /Kids [3 0 R 7 0 R] /Count 2 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
            b"/Resources << /Font << /F1 5 0 R %s>> >> %s>>" % (resources, page),
            stream(content), b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
            stream(b"BT /F1 12 Tf 72 700 Td (page 2) Tj ET"),
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R "
            b"/Resources << /Font << /F1 5 0 R >> >> >>"] + list(more)
    return pdfgen.assemble(objs, 1)


def group_hostile():
    """Small files the PDF core would hang or crash on, or spend minutes and gigabytes on."""
    def case(name, data, rc, warning, texts):
        with open(path(name + ".pdf"), "wb") as f:
            f.write(data)
        want = ("Warning:\n%s\n" % warning if warning else "") + ("" if rc == 0 else UNREADABLE)
        expect(name, ["--src=%s.pdf" % name], rc, stdout=want)
        if rc == 0:
            check(name + " sheets", sheets(path(name + ".xls")), texts)

    text = b"BT /F1 12 Tf 72 700 Td (page 1) Tj ET"
    both = [("Page_1", "page 1"), ("Page_2", "page 2")]
    # Form fields whose nodes share their children, 60 deep: 2^60 paths.
    fields = [b"<< /T (f) /Kids [%d 0 R %d 0 R] %s>>" % (9 + k, 9 + k, b"/Parent %d 0 R " % (7 + k) if k else b"")
              for k in range(59)]
    fields.append(b"<< /T (w) /FT /Tx /Subtype /Widget /Rect [72 600 200 620] /Parent 66 0 R >>")
    case("fields", one_page_doc(text, more=fields, catalog=b"/AcroForm << /Fields [8 0 R] >>",
                                page=b"/Annots [67 0 R]"), 0,
         "The document's form-field tree is damaged (it has more than 100000 fields): its fields are converted as the "
         "pages show them.", both)
    # A composite font whose CMap uses itself: the core recurses until its stack ends.
    cmap = (b"/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Loop def "
            b"1 begincodespacerange <00> <FF> endcodespacerange endcmap end end")
    font = [b"<< /Type /Font /Subtype /Type0 /BaseFont /Loop /Encoding 9 0 R /DescendantFonts [10 0 R] >>",
            stream(cmap, b"/Type /CMap /CMapName /Loop /UseCMap 9 0 R "),
            b"<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Loop /CIDSystemInfo << /Registry (Adobe) "
            b"/Ordering (Identity) /Supplement 0 >> >>"]
    case("usecmap", one_page_doc(text + b" BT /F2 12 Tf (AB) Tj ET", resources=b"/F2 8 0 R ", more=font), 0,
         "Page 1 cannot be read (the document is damaged there): its worksheet is empty.",
         [("Page_1", ""), ("Page_2", "page 2")])
    # An image of 10^10 pixels from three bytes of data: not rasterised, and the text pass still runs.
    image = b"q 100 0 0 100 72 72 cm BI /W 100000 /H 100000 /CS /RGB /BPC 8 ID abc EI Q " + text
    case("image", one_page_doc(image), 0, "", both)
    # Its neighbour: a small inline image (whose data holds "EI") and the text after it.
    small = b"q 10 0 0 10 72 600 cm BI /W 2 /H 2 /CS /G /BPC 8 ID EI\x00\x01 EI Q " + text
    case("small image", one_page_doc(small), 0, "", both)
    # One filled path that zigzags over the page's height 20000 times: not rasterised either.
    zigzag = b"10 10 m " + b"500 780 l 10 10 l " * 10000 + b"f " + text
    case("path", one_page_doc(zlib.compress(zigzag)).replace(b"<< /Length", b"<< /Filter /FlateDecode /Length", 1),
         0, "", both)
    # An A0 drawing scanned at 600 dpi (19866 x 28087, 1 bit: 5.6e8 pixels) under an invisible text
    # layer holding a table: the scan is not rasterised, the text is kept.
    rows = zlib.compress(bytes((19866 + 7) // 8 * 28087), 9)
    layer = b"q 2384 0 0 3370 0 0 cm /Scan Do Q BT 3 Tr /F1 12 Tf 100 3000 Td (Part) Tj 200 0 Td (Qty) Tj " \
            b"-200 -20 Td (Bolt) Tj 200 0 Td (12) Tj ET"
    a0 = pdfgen.assemble([b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                          b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 2384 3370] /Contents 4 0 R /Resources "
                          b"<< /Font << /F1 5 0 R >> /XObject << /Scan 6 0 R >> >> >>",
                          stream(layer), b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                          stream(rows, b"/Type /XObject /Subtype /Image /Width 19866 /Height 28087 /ColorSpace "
                                       b"/DeviceGray /BitsPerComponent 1 /Filter /FlateDecode ")], 1)
    case("a0 scan", a0, 0, "", [("Page_1", "Part Qty Bolt 12.0")])
    # JBIG2 data whose own headers declare a page and a region of 100000 x 100000 pixels for an image of
    # 16 x 16: the core would decode them where no callback is asked (2 minutes, 2.4 GB). Left out of the
    # raster pass, as an XObject and inline; a sound one is drawn, without a word.
    def jbig2(size):
        def segment(number, kind, data):
            return struct.pack(">IBBBI", number, kind, 0, 1, len(data)) + data
        region = struct.pack(">IIIIBB", size, size, 0, 0, 0, 8) + bytes([3, 255, 253, 255, 2, 254, 254, 254, 0, 0])
        return segment(0, 48, struct.pack(">IIIIBH", size, size, 0, 0, 0, 0)) + segment(1, 38, region)

    def jbig2_doc(data):
        return one_page_doc(b"q 100 0 0 100 72 500 cm /Im Do Q " + text, resources=b">> /XObject << /Im 8 0 R ",
                            more=[stream(data, b"/Type /XObject /Subtype /Image /Width 16 /Height 16 /ColorSpace "
                                               b"/DeviceGray /BitsPerComponent 1 /Filter /JBIG2Decode ")])
    case("jbig2 bomb", jbig2_doc(jbig2(100000)), 0, "", both)
    case("inline jbig2 bomb", one_page_doc(b"q 100 0 0 100 72 500 cm BI /W 16 /H 16 /IM true /F /JBIG2Decode ID "
                                           + jbig2(100000) + b" EI Q " + text), 0, "", both)
    case("jbig2", jbig2_doc(jbig2(16)), 0, "", both)
    # A JPEG with two stray bytes before a marker: libjpeg's own complaint stays off the console.
    pdfgen.write(path("tile.pdf"), [pdfgen.rect(0, 0, 20, 20, (0.5, 0.2, 0.1))], media=(20, 20))
    subprocess.run(["pdftoppm", "-jpeg", "-r", "72", "-singlefile", path("tile.pdf"), path("tile")], check=True)
    with open(path("tile.jpg"), "rb") as f:
        jpeg = f.read()
    scan = jpeg.index(b"\xff\xda")
    jpeg = jpeg[:scan] + b"\x00\x01" + jpeg[scan:]
    shown = b"q 100 0 0 100 72 500 cm /Im Do Q " + text
    case("corrupt jpeg", one_page_doc(shown, resources=b">> /XObject << /Im 8 0 R ",
                                      more=[stream(jpeg, b"/Type /XObject /Subtype /Image /Width 20 /Height 20 "
                                                         b"/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode ")]),
         0, "", both)


def group_cjk():
    """Chinese text in a font that is not embedded, read through a predefined CMap (poppler-data)."""
    def font(encoding):
        return (b"<< /Type /Font /Subtype /Type0 /BaseFont /SimSun /Encoding /%s /DescendantFonts [<< /Type /Font "
                b"/Subtype /CIDFontType0 /BaseFont /SimSun /CIDSystemInfo << /Registry (Adobe) /Ordering (GB1) "
                b"/Supplement 2 >> /FontDescriptor << /Type /FontDescriptor /FontName /SimSun /Flags 6 "
                b"/FontBBox [0 -141 1000 859] /ItalicAngle 0 /Ascent 859 /Descent -141 /CapHeight 859 /StemV 80 >> "
                b"/DW 1000 >>] >>" % encoding)
    page = b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents %d 0 R /Resources << /Font %s >> >>"
    chinese = b"BT /F1 12 Tf 72 700 Td <D6D0CEC4> Tj ET"  # GBK
    with open(path("cjk.pdf"), "wb") as f:
        f.write(pdfgen.assemble([
            b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>",
            page % (6, b"<< /F1 8 0 R >>"), page % (7, b"<< /F1 9 0 R /F2 10 0 R >>"),
            page % (6, b"<< /F1 9 0 R >>"),
            stream(chinese), stream(chinese + b" BT /F2 12 Tf 72 600 Td (kept) Tj ET"),
            font(b"GBK-EUC-H"), font(b"Missing-GB-H"), b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"], 1))
    # A map that is not installed is named once, at the first page that uses it.
    expect("cjk", ["--src=cjk.pdf"], 0,
           stdout="Warning:\nPage 2 uses the character map Missing-GB-H, which is not installed (Debian package "
                  "poppler-data): the text in it is missing from this page and any later one.\n")
    check("cjk sheets", sheets(path("cjk.xls")), [("Page_1", "\u4e2d\u6587"), ("Page_2", "kept"), ("Page_3", "")])


def group_page_tree():
    """Page N is the N-th page the page tree writes, also after a broken entry."""
    data = pdfgen.build([pdfgen.text(72, 700, "page %d" % (i + 1)) for i in range(6)], compress=False)
    start = data.index(b"/Kids [") + 7
    kids = data[start:data.index(b"]", start)].split(b" R")
    kids[2] = b" 99 0"  # the third entry names an object that is not there
    data = data[:start] + b" R".join(kids) + data[data.index(b"]", start):]
    with open(path("tree.pdf"), "wb") as f:
        f.write(data)
    warning = "Warning:\nPage 3 cannot be read (the document is damaged there): its worksheet is empty.\n"
    expect("whole document", ["--src=tree.pdf"], 0, stdout=warning)
    want = [("Page_%d" % i, "" if i == 3 else "page %d" % i) for i in range(1, 7)]
    check("every page on its own sheet", sheets(path("tree.xls")), want)
    expect("the page after it", ["--src=tree.pdf", "--pages=4", "--dest=four.xls"], 0)
    check("page 4", sheets(path("four.xls")), [("Page_1", "page 4")])
    expect("the last page", ["--src=tree.pdf", "--pages=6", "--dest=six.xls"], 0)
    check("page 6", sheets(path("six.xls")), [("Page_1", "page 6")])
    # The broken page alone: that is what the error says, not a damaged document.
    expect("the broken page alone", ["--src=tree.pdf", "--pages=3", "--dest=alone.xls"], 255,
           stdout=warning + "Error:\nNo page was converted: no selected page could be read (the warnings above say "
                            "why).\n")
    check("no workbook of the broken page", os.path.exists(path("alone.xls")), False)
    expect("the broken page and the next", ["--src=tree.pdf", "--pages=3-4", "--dest=three.xls"], 0, stdout=warning)
    check("pages 3 and 4", sheets(path("three.xls")), [("Page_1", ""), ("Page_2", "page 4")])
    # The core lets go of each page after its last conversion and of the pages it passes: a page listed
    # again, one passed before and one of an encrypted document keep their texts.
    expect("pages again", ["--src=tree.pdf", "--pages=5,2,5,1", "--dest=again.xls"], 0)
    check("pages 5, 2, 5, 1", sheets(path("again.xls")),
          [("Page_1", "page 5"), ("Page_2", "page 2"), ("Page_3", "page 5"), ("Page_4", "page 1")])
    subprocess.run(["qpdf", "--encrypt", "user", "owner", "256", "--", path("tree.pdf"), path("locked.pdf")],
                   check=False, capture_output=True)
    expect("encrypted", ["--src=locked.pdf", "--pswd=user", "--pages=6,1-6,2"], 0, stdout=warning)
    check("encrypted pages", sheets(path("locked.xls")),
          [("Page_1", "page 6")] + [("Page_%d" % i, "" if i == 4 else "page %d" % (i - 1)) for i in range(2, 8)]
          + [("Page_8", "page 2")])


groups = {name[6:]: fn for name, fn in globals().items() if name.startswith("group_")}
try:
    groups[GROUP]()
finally:
    shutil.rmtree(work, ignore_errors=True)
if failures:
    print("\n".join(failures))
    sys.exit(1)
print("ok")
