#!/usr/bin/env python3
"""Builds the demo disc set that `make run` installs from.

Writes a small master (the simulator's program for Linux, "Flyvane-i686", and
the Macintosh bundle "Flyvane.app", each a shell script; a few aircraft and
resources; five global-scenery tiles with their pre-packed 7z archives) into
OUT/master, turns it into a two-disc release
with the release builder (OUT/discs/disk_0, disk_1) and lays out a simulated
drive, OUT/volumes, with disc one in it: point FLY_MOUNTED_VOLUMES at that
folder, and a disc goes in with
    ln -s ../discs/disk_1 OUT/volumes/FLYVANE9_2
The demo simulator, once installed and started, says that it runs and, when
FLY_SIM_MARKER names a file, writes that file.

    make_demo_discs.py --make-release=PATH --out=DIR [--name=NAME]
"""
import argparse
import os
import random
import shutil
import subprocess
import sys

RELEASE_NAME = "Flyvane 9 Demo"
# Archives per disc, KB of 1000 bytes: the set comes out as two discs.
SPLIT_KB = 250


def sim_script(system, copy_folder):
    """The demo simulator for one system: it only shows that it was started.
    copy_folder is the shell expression of the installed copy's folder."""
    return f"""#!/bin/sh
# The demo simulator ({system}): it only shows that it was started.
echo "Flyvane 9 (demo simulator) is running from $(cd {copy_folder} && pwd)."
if [ -n "$FLY_SIM_MARKER" ]; then
  echo "Flyvane 9 demo simulator for {system} ran with $# argument(s)" > "$FLY_SIM_MARKER"
fi
exit 0
"""


INFO_PLIST = """<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
  <key>CFBundleExecutable</key>
  <string>Flyvane</string>
  <key>CFBundleName</key>
  <string>Flyvane</string>
</dict>
</plist>
"""

# (ten-degree folder, tile): spread over the map.
TILES = [("+40-130", "+47-122"), ("+30-120", "+37-119"), ("+50+000", "+51-001"),
         ("-40+170", "-37+174"), ("+30+130", "+35+139")]


def noise(rng, n):
    """n bytes that do not compress, so that the discs split by size."""
    return bytes(rng.getrandbits(8) for _ in range(n))


def write(path, data, mode=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)
    if mode is not None:
        os.chmod(path, mode)


def make_master(master):
    rng = random.Random(9)
    a = os.path.join(master, "All")
    for d in ["Instructions", "Weapons", "Airfoils", "Aircraft", "Output", "Custom Scenery",
              "Global Scenery", "Resources/plugins", "Resources/default scenery/900 red terrain",
              "Resources/bitmaps/Earth Orbit Textures"]:
        os.makedirs(os.path.join(a, d), exist_ok=True)
    for d in ["Macintosh", "Windows", "Linux"]:
        os.makedirs(os.path.join(master, d), exist_ok=True)

    write(f"{a}/Instructions/Read Me.txt",
          "Flyvane 9 demo.\nThis copy was installed from the demo disc set.\n")
    write(f"{a}/Airfoils/demo wing.afl", "A\n900 version\nAIRFOIL\n\nCL 0.0 1.2\n")
    for name in ["Demo Trainer", "Demo Glider"]:
        write(f"{a}/Aircraft/{name}/{name}.acf", noise(rng, 60000))
        write(f"{a}/Aircraft/{name}/{name} notes.txt", f"{name}: a demo aircraft.\n")
    write(f"{a}/Weapons/demo.wpn", "A\n900 version\nWEAPON\n")
    write(f"{a}/Output/README.txt", "Flyvane writes its situations and logs here.\n")
    write(f"{a}/Custom Scenery/README.txt", "Put custom scenery packages here.\n")
    write(f"{a}/Resources/plugins/README.txt", "Plugins go here.\n")
    write(f"{a}/Resources/default scenery/900 red terrain/terrain.txt", "red terrain\n")
    write(f"{a}/Resources/bitmaps/Earth Orbit Textures/orbit.txt", "orbit\n")
    write(f"{a}/Resources/sounds/engine.wav", noise(rng, 40000))

    for folder, tile in TILES:
        d = f"{a}/Global Scenery/{folder}"
        write(f"{d}/{tile}.dsf", noise(rng, 45000))
        # The disc carries global scenery as pre-packed 7z archives.
        subprocess.run(
            ["7zz", "a", "-t7z", "-bso0", "-bsp0", "--", f"{tile}.dsf.7z", f"{tile}.dsf"],
            cwd=d, check=True)

    app = f"{master}/Macintosh/Flyvane.app/Contents"
    write(f"{app}/Info.plist", INFO_PLIST)
    write(f"{app}/MacOS/Flyvane", sim_script("Macintosh", '"$(dirname "$0")/../../.."'), 0o755)
    write(f"{app}/Resources/about.txt", "Flyvane 9 demo simulator.\n")
    write(f"{master}/Linux/Flyvane-i686", sim_script("Linux", '"$(dirname "$0")"'), 0o755)


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--make-release", required=True, help="the release builder")
    p.add_argument("--out", required=True, help="the demo folder (rebuilt)")
    p.add_argument("--name", default=RELEASE_NAME)
    args = p.parse_args()

    out = os.path.abspath(args.out)
    master, discs, volumes = (os.path.join(out, d) for d in ("master", "discs", "volumes"))
    for d in (master, discs, volumes):
        shutil.rmtree(d, ignore_errors=True)
    os.makedirs(out, exist_ok=True)
    make_master(master)

    cmd = [os.path.abspath(args.make_release), "--type=disc", f"--master={master}", f"--out={discs}",
           f"--name={args.name}", f"--split-kb={SPLIT_KB}",
           f"--log={os.path.join(out, 'make_release.log')}"]
    # The builder writes its memory report into its working folder.
    r = subprocess.run(cmd, cwd=out, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if r.returncode != 0:
        sys.stderr.write(r.stdout)
        sys.exit(f"make_demo_discs: the release builder failed ({r.returncode})")

    for n in (0, 1):
        v = os.path.join(discs, f"disk_{n}", "dvd_version.txt")
        if not os.path.isfile(v):
            sys.exit(f"make_demo_discs: the builder made no disc {n + 1} ({v})")
    if os.path.exists(os.path.join(discs, "disk_2")):
        sys.exit("make_demo_discs: the set came out as more than two discs")
    if not os.path.isfile(os.path.join(discs, "disk_0", args.name, "directory.txt.zip")):
        sys.exit("make_demo_discs: disc one holds no file list")

    os.makedirs(volumes)
    os.symlink("../discs/disk_0", os.path.join(volumes, "FLYVANE9_1"))
    with open(os.path.join(out, "discs.stamp"), "w") as f:
        f.write(args.name + "\n")
    print(f"Demo discs in {discs}; simulated drive {volumes} (disc one inserted)")


if __name__ == "__main__":
    main()
