#!/usr/bin/env python3
"""Checks what an installation of the build gives a user, in a scratch root.

    CheckInstalled.py install --build DIR
    CheckInstalled.py deb --build DIR [--packages DIR]

install: `cmake --install` of the library and its development files into the
scratch root (DESTDIR); deb: the build's Debian packages, made by cpack (into
--packages, else a scratch folder) and unpacked into the scratch root, with their contents and fields checked. Then,
from the scratch root, the C example is compiled against the installed header
through the installed pkg-config file, and it and the Python example list the
boards of a live orvalisd. Exit status 77: skipped (a tool is missing).
"""
import argparse
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77


class Failure(Exception):
    pass


def run(command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        raise Failure("%s exited with %d:\n%s%s" % (" ".join(command), result.returncode,
                                                    result.stdout, result.stderr))
    return result.stdout


def in_root(root, path):
    return os.path.join(root, path.lstrip("/"))


def install_components(args, root):
    env = dict(os.environ, DESTDIR=root)
    for component in ("Library", "Development"):
        run(["cmake", "--install", args.build, "--component", component], env=env)


def check_package_contents(args, packages):
    """Each file in the package it belongs to; no RPATH; dependencies."""
    contents = {}
    for name, path in packages.items():
        listing = run(["dpkg-deb", "--contents", path])
        contents[name] = [line.split()[5].lstrip(".") for line in listing.splitlines()]
    expect = {
        "libquormgmt1": [args.libdir + "/libquormgmt.so.1"],
        "libquormgmt-dev": [args.libdir + "/libquormgmt.so", args.includedir + "/quormgmt.h",
                            args.libdir + "/pkgconfig/quormgmt.pc"],
        "orvalisd": [args.bindir + "/orvalisd", args.datadir + "/man/man1/orvalisd.1.gz",
                     args.prefix + "/lib/systemd/user/orvalisd.service"],
        "harbex": [args.bindir + "/harbex", args.datadir + "/harbex/help/index.html",
                   args.datadir + "/applications/harbex.desktop",
                   args.datadir + "/man/man1/harbex.1.gz",
                   args.datadir + "/icons/hicolor/16x16/apps/harbex.png",
                   args.datadir + "/icons/hicolor/256x256/apps/harbex.png",
                   args.datadir + "/icons/hicolor/scalable/apps/harbex.svg"],
    }
    for name, files in expect.items():
        if name not in contents:
            continue
        for file in files + [args.datadir + "/doc/%s/copyright" % name]:
            if file not in contents[name]:
                raise Failure("%s lacks %s" % (name, file))
    for name, files in contents.items():
        for file in files:
            if name != "libquormgmt-dev" and (file.endswith("/libquormgmt.so") or
                                              file.endswith(".h")):
                raise Failure("%s holds %s, which belongs in libquormgmt-dev" % (name, file))
    fields = {name: run(["dpkg-deb", "--field", path]) for name, path in packages.items()}
    for loaded in ("libquormgmt1 (= ", "libqt6svg6"):
        if "harbex" in fields and loaded not in fields["harbex"]:
            raise Failure("harbex does not depend on %s:\n%s" % (loaded, fields["harbex"]))
    if "libquormgmt1 (= " not in fields["libquormgmt-dev"]:
        raise Failure("libquormgmt-dev does not depend on libquormgmt1")
    if "libc6" not in fields["orvalisd"]:
        raise Failure("orvalisd has no dependencies from dpkg-shlibdeps:\n" + fields["orvalisd"])
    # Programs that link the library depend on it through its shlibs entry;
    # ldconfig runs through the trigger.
    library = packages["libquormgmt1"]
    if "libquormgmt 1 libquormgmt1" not in run(["dpkg-deb", "--info", library, "shlibs"]):
        raise Failure("libquormgmt1 has no shlibs entry for libquormgmt.so.1")
    if "activate-noawait ldconfig" not in run(["dpkg-deb", "--info", library, "triggers"]):
        raise Failure("libquormgmt1 does not trigger ldconfig")


def check_harbex_finds_library(args, work, root):
    """An installed harbex loads libquormgmt.so.1 of its installation with no
    environment set for it (the loader's own trace only watches)."""
    harbex = in_root(root, args.bindir + "/harbex")
    if not os.path.exists(harbex):
        return
    host_root = os.path.join(work, "harbex-host-root")
    os.mkdir(host_root, 0o700)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LD_DEBUG="files",
               QUOR_HOST_ROOT=host_root)
    env.pop("LD_LIBRARY_PATH", None)
    wanted = "file=%s " % in_root(root, args.libdir + "/libquormgmt.so.1")
    process = subprocess.Popen([harbex], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE)
    trace = ""
    deadline = time.monotonic() + 20
    try:
        while wanted not in trace and time.monotonic() < deadline:
            if select.select([process.stderr], [], [], 0.5)[0]:
                chunk = os.read(process.stderr.fileno(), 65536)
                if not chunk:
                    break
                trace += chunk.decode("utf-8", "replace")
    finally:
        process.kill()
        process.wait()
    if wanted not in trace:
        raise Failure("the installed harbex did not load %s" % wanted[5:])


def make_packages(args, out, work, root):
    for tool in ("dpkg-deb", "dpkg-shlibdeps"):
        if not shutil.which(tool):
            print("SKIPPED: %s is not installed (package dpkg-dev; scripts/setup-deps "
                  "installs it)" % tool)
            sys.exit(SKIP)
    shutil.rmtree(out, ignore_errors=True)
    run(["cpack", "-G", "DEB", "--config", os.path.join(args.build, "CPackConfig.cmake"),
         "-B", out])
    packages = {}
    for file in sorted(os.listdir(out)):
        if file.endswith(".deb"):
            packages[file.split("_")[0]] = os.path.join(out, file)
    wanted = {"libquormgmt1", "libquormgmt-dev", "orvalisd"}
    if os.path.exists(os.path.join(args.build, "bin", "harbex")):
        wanted.add("harbex")
    if set(packages) != wanted:
        raise Failure("packages made: %s; wanted %s" % (sorted(packages), sorted(wanted)))
    check_package_contents(args, packages)
    # The development files last: first harbex with the runtime name only.
    for name in sorted(packages, key=lambda name: name == "libquormgmt-dev"):
        if name == "libquormgmt-dev":
            check_harbex_finds_library(args, work, root)
        run(["dpkg-deb", "--extract", packages[name], root])
    for program in ["harbex", "orvalisd"]:
        path = in_root(root, args.bindir + "/" + program)
        if os.path.exists(path) and ("RPATH" in run(["readelf", "-d", path]) or
                                     "RUNPATH" in run(["readelf", "-d", path])):
            raise Failure("%s carries an RPATH" % program)
    if "Library soname: [libquormgmt.so.1]" not in run(
            ["readelf", "-d", in_root(root, args.libdir + "/libquormgmt.so.1")]):
        raise Failure("the library's SONAME is not libquormgmt.so.1")
    usage = run([in_root(root, args.bindir + "/orvalisd"), "--help"])
    if not usage.startswith("Usage: orvalisd"):
        raise Failure("orvalisd --help printed:\n" + usage)
    unit = open(in_root(root, args.prefix + "/lib/systemd/user/orvalisd.service")).read()
    if "ExecStart=%s/orvalisd " % args.bindir not in unit:
        raise Failure("the systemd unit does not start the installed orvalisd:\n" + unit)
    return in_root(root, args.bindir + "/orvalisd")


class Orvalisd:
    """orvalisd on a fresh host root, stopped with SIGTERM at the end."""

    def __init__(self, program, host_root, arguments):
        self.process = subprocess.Popen([program, "--root", host_root] + arguments,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True)
        output = ""
        for line in self.process.stdout:
            output += line
            if "ready" in line:
                return
        raise Failure("orvalisd did not get ready:\n" + output)

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=10)


def list_boards(command, env, expected):
    """The example's listing once it shows every expected line (the driver
    sees an open within milliseconds)."""
    deadline = time.monotonic() + 10
    while True:
        listing = run(command, env=env)
        if all(line in listing for line in expected) or time.monotonic() > deadline:
            return listing
        time.sleep(0.1)


def check_examples(args, work, root, orvalisd):
    examples = in_root(root, args.datadir + "/doc/libquormgmt-dev/examples")
    libdir = in_root(root, args.libdir)
    pkg_env = dict(os.environ, PKG_CONFIG_SYSROOT_DIR=root,
                   PKG_CONFIG_LIBDIR=os.path.join(libdir, "pkgconfig"))
    flags = run(["pkg-config", "--cflags", "--libs", "quormgmt"], env=pkg_env).split()
    program = os.path.join(work, "list_boards")
    run(["cc", "-std=c99", "-Wall", "-Wextra", "-pedantic", "-Werror",
         os.path.join(examples, "list_boards.c"), "-o", program] + flags)
    header = in_root(root, args.includedir + "/quormgmt.h")
    run(["c++", "-std=c++11", "-Wall", "-Wextra", "-pedantic", "-Werror", "-fsyntax-only",
         "-x", "c++", header])

    host_root = os.path.join(work, "host-root")
    os.mkdir(host_root, 0o700)
    env = dict(os.environ, QUOR_HOST_ROOT=host_root, LD_LIBRARY_PATH=libdir)
    daemon = Orvalisd(orvalisd, host_root, ["--board", "2", "--board", "3:loopback",
                                            "--first-com", "30"])
    held = os.open(os.path.join(host_root, "dosdevices", "com31"), os.O_RDWR | os.O_NOCTTY)
    try:
        expected = ["library version 1, 2 board(s)",
                    "board 1: Orvalis PCI 3-port board 2 (COM32-COM34)",
                    "board 2: Orvalis PCI 2-port board 1 (COM30-COM31)",
                    "  COM30  closed sent 0, received 0, errors 0",
                    "  COM31  open  ", "  COM34  closed "]
        c_listing = list_boards([program], env, expected)
        for line in expected:
            if line not in c_listing:
                raise Failure("the C example's listing lacks %r:\n%s" % (line, c_listing))
        python = [sys.executable, os.path.join(examples, "list_boards.py")]
        python_listing = run(python, env=env)
        if python_listing != c_listing:
            raise Failure("the Python example listed:\n%s\nthe C example:\n%s" %
                          (python_listing, c_listing))
    finally:
        os.close(held)
        daemon.stop()

    # A library whose start was refused answers every command with a failure.
    with open(os.path.join(host_root, "host.json"), "w") as file:
        file.write('{"version": {"platform": 2, "major": 5, "minor": 1, '
                   '"extendedRecord": false, "plainRecord": false}}')
    refused = subprocess.run([program], env=env, capture_output=True, text=True)
    if refused.returncode != 1 or "refused" not in refused.stderr:
        raise Failure("a refused library still answered:\n" + refused.stdout + refused.stderr)
    print(c_listing)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["install", "deb"])
    parser.add_argument("--build", required=True)
    parser.add_argument("--packages")
    args = parser.parse_args()
    # prefix, bindir, libdir, includedir, datadir: the build's install paths.
    with open(os.path.join(args.build, "packaging", "install-paths.json")) as file:
        for name, path in json.load(file).items():
            setattr(args, name, path)
    work = tempfile.mkdtemp(prefix="quor-installed-%s-" % args.mode)
    root = os.path.join(work, "root")
    os.mkdir(root)
    try:
        if args.mode == "install":
            install_components(args, root)
            orvalisd = os.path.join(args.build, "bin", "orvalisd")
        else:
            orvalisd = make_packages(args, args.packages or os.path.join(work, "packages"), work,
                                     root)
        check_examples(args, work, root, orvalisd)
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
