#!/usr/bin/env python3
"""Configures two Syncthing instances on this machine that share one folder
each (folder 1 and folder 2, the same Syncthing folder) with each other over
127.0.0.1 only: no global discovery, no relays, no NAT, no usage reports.
   syncthing_pair.py <work-dir> <folder-1> <folder-2>
Writes <work-dir>/home1 and home2; prints nothing."""
import os
import socket
import subprocess
import sys
import xml.etree.ElementTree as ET

work, folders = sys.argv[1], sys.argv[2:4]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


homes = [os.path.join(work, "home1"), os.path.join(work, "home2")]
ports = [free_port(), free_port()]
ids = []
for home in homes:
    subprocess.run(["syncthing", "generate", "--home=" + home, "--no-default-folder"], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ids.append(ET.parse(os.path.join(home, "config.xml")).getroot().find("device").get("id"))

for i, home in enumerate(homes):
    path = os.path.join(home, "config.xml")
    tree = ET.parse(path)
    root = tree.getroot()
    root.find("gui").find("address").text = "127.0.0.1:%d" % free_port()
    options = root.find("options")
    settings = {"listenAddress": "tcp://127.0.0.1:%d" % ports[i], "globalAnnounceEnabled": "false",
                "localAnnounceEnabled": "false", "relaysEnabled": "false", "natEnabled": "false",
                "urAccepted": "-1", "startBrowser": "false", "crashReportingEnabled": "false",
                "autoUpgradeIntervalH": "0"}
    for key, value in settings.items():
        options.find(key).text = value
    other = 1 - i
    device = ET.SubElement(root, "device", id=ids[other], name="peer%d" % (other + 1), compression="metadata",
                           introducer="false", skipIntroductionRemovals="false", introducedBy="")
    ET.SubElement(device, "address").text = "tcp://127.0.0.1:%d" % ports[other]
    ET.SubElement(device, "paused").text = "false"
    folder = ET.Element("folder", id="kestrin", label="kestrin", path=folders[i], type="sendreceive",
                        rescanIntervalS="2", fsWatcherEnabled="true", fsWatcherDelayS="1", ignorePerms="true",
                        autoNormalize="true")
    for device_id in ids:
        ET.SubElement(folder, "device", id=device_id, introducedBy="")
    root.insert(0, folder)
    tree.write(path)
