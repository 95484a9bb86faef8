#!/usr/bin/env python3
"""Virtual USB HID devices for the live test stack.

Runs inside the test guest. Each device speaks the USB/IP protocol on one
end of a loopback TCP connection whose other end is handed to the kernel's
vhci host controller, so the guest's USB core enumerates it as a real USB
device: usbhid and hid-generic bind it, hidraw gives it a node, and sysfs
shows its descriptors and strings.

    virtual_units.py ADDRESS...

Commands arrive one a line on any ADDRESS, a Unix socket path or
HOST:PORT for TCP (one client at a time), and each is answered with a
line, "ok ..." or "error ...":

    plug key=value ...    a new device; answers "ok ID" once the kernel has
                          bound it and its hidraw node exists. Keys: vid,
                          pid, version, serial, manufacturer, product
                          (UTF-16 code units, four hex digits each, or
                          "none" for no string), report (the feature report
                          in the read layout, hex), feature_len, input_len,
                          output_len, input ("silent": the interrupt
                          endpoint never answers), get_report (how GET_REPORT of the
                          feature report is met: answer, stall, silent for
                          never, or unplug for leaving in the middle of the
                          answer). A device whose report descriptor the
                          kernel refuses gets no hidraw node: "ok ID" comes
                          once the kernel has decided.
    unplug ID, replug ID  detach or attach again, waiting for the kernel
    reports ID            every feature report received since the last
                          "reports", one a line as hex with the report ID
                          byte first, then "end"
    settle                waits until every device that left on its own
                          is gone from the kernel; answers "ok" and the IDs
                          of the devices not on the bus
    reset                 detaches and forgets every device
    nodes                 "ok" and the vendor and product IDs of each of
                          the kernel's hidraw nodes now, the machine's own
                          and the units', as VVVV:PPPP in hex
    ids                   "ok" and every VVVV:PPPP plugged since the units
                          started
    plugged               "ok" and the IDs of the devices on the bus
"""

import collections
import glob
import os
import select
import socket
import struct
import sys
import threading
import time

VHCI = "/sys/devices/platform/vhci_hcd.0"
SPEED_FULL = 2
# USB/IP commands and the Linux error numbers that travel in its replies.
CMD_SUBMIT, CMD_UNLINK, RET_SUBMIT, RET_UNLINK = 1, 2, 3, 4
EPIPE, EPROTO, ECONNRESET = 32, 71, 104
# How often the interrupt endpoint answers: it always has a report ready,
# but, like a real device, only once per polling interval.
INTERRUPT_MS = 8
BIND_TIMEOUT = 30.0
GET_REPORT_BEHAVIOURS = ("answer", "stall", "silent", "unplug")
NETLINK_KOBJECT_UEVENT = 15


# The kernel refuses a field of more than HID_MAX_USAGES (12288) values;
# longer reports are made of several fields, so that only the report's
# length decides whether the kernel takes the descriptor.
FIELD_BYTES = 4096


def report_descriptor(input_len, output_len, feature_len):
    """One vendor-defined collection with unnumbered reports of 8-bit fields."""
    def count(n):
        return bytes([0x95, n]) if n < 256 else bytes([0x96]) + struct.pack("<H", n)
    d = bytes([0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08])
    for length, main in ((input_len, 0x81), (output_len, 0x91), (feature_len, 0xB1)):
        left = length - 1
        while left > 0:
            n = min(left, FIELD_BYTES)
            d += count(n) + bytes([0x09, 0x01, main, 0x02])
            left -= n
    return d + bytes([0xC0])


def hidraw_ids():
    """VVVV:PPPP of each hidraw node, from its HID device's HID_ID (bus:vendor:product)."""
    ids = []
    for uevent in glob.glob("/sys/class/hidraw/hidraw*/device/uevent"):
        try:
            with open(uevent) as f:
                for line in f:
                    if line.startswith("HID_ID="):
                        _, vid, pid = line.strip()[7:].split(":")
                        ids.append("%04X:%04X" % (int(vid, 16) & 0xFFFF, int(pid, 16) & 0xFFFF))
        except (OSError, ValueError):
            pass  # a node that left while it was read
    return ids


def kernel_hid_errors():
    """The kernel's latest messages about HID devices, for the log."""
    lines = []
    try:
        fd = os.open("/dev/kmsg", os.O_RDONLY | os.O_NONBLOCK)
    except OSError:
        return lines
    try:
        while True:
            try:
                record = os.read(fd, 8192).decode("utf-8", "replace")
            except BlockingIOError:
                break
            except OSError:
                continue
            text = record.split(";", 1)[-1].strip()
            if "hid" in text.lower():
                lines.append(text)
    finally:
        os.close(fd)
    return lines[-2:]


class Device:
    def __init__(self, cfg):
        self.cfg = cfg
        self.image = bytearray(cfg["report"])
        self.received = []
        self.counter = 0
        # Interrupt-IN transfers the host asked for: the kernel submits
        # them only while someone holds the device's node open.
        self.in_transfers = 0
        self.port = None
        self.thread = None
        self.lock = threading.Lock()
        # Set by the owner: starts this device's departure from the bus.
        self.leave = None
        self.departing = False
        self.rdesc = report_descriptor(cfg["input_len"], cfg["output_len"], cfg["feature_len"])

    # --- descriptors -----------------------------------------------------
    def strings(self):
        return [self.cfg["manufacturer"], self.cfg["product"], self.cfg["serial"]]

    def device_descriptor(self):
        index = [i + 1 if s is not None else 0 for i, s in enumerate(self.strings())]
        return struct.pack("<BBHBBBBHHHBBBB", 18, 1, 0x0200, 0, 0, 0, 64, self.cfg["vid"], self.cfg["pid"],
                           self.cfg["version"], index[0], index[1], index[2], 1)

    def hid_descriptor(self):
        return struct.pack("<BBHBBBH", 9, 0x21, 0x0111, 0, 1, 0x22, len(self.rdesc))

    def config_descriptor(self):
        maxp = max(8, min(64, self.cfg["input_len"]))
        body = (struct.pack("<BBBBBBBBB", 9, 4, 0, 0, 1, 3, 0, 0, 0) + self.hid_descriptor() +
                struct.pack("<BBBBHB", 7, 5, 0x81, 3, maxp, INTERRUPT_MS))
        return struct.pack("<BBHBBBBB", 9, 2, 9 + len(body), 1, 1, 0, 0x80, 50) + body

    def string_descriptor(self, index):
        if index == 0:
            return bytes([4, 3, 0x09, 0x04])
        units = self.strings()[index - 1] if index <= 3 else None
        if units is None:
            return None
        units = units[:126]
        return bytes([2 + 2 * len(units), 3]) + b"".join(struct.pack("<H", u) for u in units)

    # --- the unit's firmware ---------------------------------------------
    def feature_answer(self):
        n = max(self.cfg["feature_len"] - 1, 0)
        return bytes(self.image[1:1 + n]).ljust(n, b"\0")

    def input_report(self):
        n = max(self.cfg["input_len"] - 1, 0)
        with self.lock:
            self.counter = (self.counter + 1) & 0xFF
            return bytes([self.counter]) * n

    def set_feature(self, data):
        with self.lock:
            # The report is unnumbered: its ID, 0, travels in wValue, not in
            # the data; it is recorded in front as the host's buffer has it.
            self.received.append(bytes([0]) + bytes(data))
            if len(data) >= 7 and data[0] == 1:
                self.image.extend(bytes(max(0, 9 - len(self.image))))
                for i in (1, 2, 3, 5, 6):
                    self.image[i] = data[i]

    # --- endpoint 0 --------------------------------------------------------
    def control(self, setup, data):
        """(status, payload) for one control transfer."""
        rtype, req, value, index, length = struct.unpack("<BBHHH", setup)
        kind, number = value >> 8, value & 0xFF
        answer = None
        if rtype == 0x80 and req == 6:
            answer = {1: self.device_descriptor, 2: self.config_descriptor,
                      3: lambda: self.string_descriptor(number)}.get(kind, lambda: None)()
        elif rtype == 0x81 and req == 6:
            answer = {0x21: self.hid_descriptor(), 0x22: self.rdesc}.get(kind)
        elif rtype == 0x80 and req == 0:
            answer = bytes(2)
        elif rtype == 0x80 and req == 8:
            answer = bytes([1])
        elif rtype in (0x00, 0x01, 0x02) and req in (1, 3, 9, 11):
            answer = b""  # clear/set feature, set configuration, set interface
        elif rtype == 0x21 and req == 0x0A:
            answer = b""  # set idle
        elif rtype == 0xA1 and req == 1 and number == 0:
            if kind == 3 and self.cfg["feature_len"] > 1:
                behaviour = self.cfg["get_report"]
                log("GET_REPORT feature, wLength %d: %s" % (length, behaviour))
                if behaviour == "silent":
                    return None
                if behaviour == "stall":
                    return -EPIPE, b""
                if behaviour == "unplug":
                    # What a host controller reports for a transfer cut off
                    # by the device leaving the bus; the detach follows the
                    # reply, so the host is not left waiting for it.
                    self.departing = True
                    return -EPROTO, b""
                answer = self.feature_answer()
            elif kind == 1 and self.cfg["input_len"] > 1:
                answer = self.input_report()
        elif rtype == 0x21 and req == 9 and kind == 3 and number == 0 and self.cfg["feature_len"] > 1:
            self.set_feature(data)
            return 0, b""
        if answer is None:
            return -EPIPE, b""
        return 0, answer[:length]

    # --- USB/IP ------------------------------------------------------------
    def serve(self, sock):
        pending = collections.deque()
        # Transfers that are never answered (a silent interrupt endpoint, a
        # control transfer left unanswered) until the host unlinks them.
        held = set()
        due = 0.0
        try:
            while True:
                timeout = max(0.0, due - time.monotonic()) if pending else None
                readable, _, _ = select.select([sock], [], [], timeout)
                if readable:
                    header = recv_exact(sock, 48)
                    if header is None:
                        return
                    command, seq, _devid, direction, ep = struct.unpack(">IIIII", header[:20])
                    if command == CMD_SUBMIT:
                        length = struct.unpack(">i", header[24:28])[0]
                        data = recv_exact(sock, length) if direction == 0 and length > 0 else b""
                        if data is None:
                            return
                        if ep == 0:
                            answer = self.control(header[40:48], data)
                            if answer is None:
                                held.add(seq)
                                continue
                            status, payload = answer
                            reply(sock, seq, status, payload if direction == 1 else b"",
                                  len(payload) if direction == 1 else len(data))
                            if self.departing:
                                self.departing = False
                                self.leave()
                        elif ep == 1 and direction == 1:
                            with self.lock:
                                self.in_transfers += 1
                            if self.cfg["input"] == "silent":
                                held.add(seq)
                            else:
                                pending.append((seq, length))
                        else:
                            reply(sock, seq, -EPIPE, b"", 0)
                    elif command == CMD_UNLINK:
                        victim = struct.unpack(">I", header[20:24])[0]
                        waiting = [p for p in pending if p[0] == victim]
                        for p in waiting:
                            pending.remove(p)
                        if victim in held:
                            held.discard(victim)
                            waiting.append(victim)
                            log("transfer %d unlinked by the host" % victim)
                        # An URB still held is given back as unlinked; one
                        # already answered has nothing left to cancel.
                        reply(sock, seq, -ECONNRESET if waiting else 0, b"", 0, RET_UNLINK)
                if pending and time.monotonic() >= due:
                    seq, length = pending.popleft()
                    report = self.input_report()[:max(length, 0)]
                    reply(sock, seq, 0, report, len(report))
                    due = time.monotonic() + INTERRUPT_MS / 1000.0
        except OSError:
            return
        finally:
            sock.close()


def log(text):
    sys.stderr.write("%.3f %s\n" % (time.monotonic(), text))
    sys.stderr.flush()


def recv_exact(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def reply(sock, seq, status, payload, actual, command=RET_SUBMIT):
    """A RET_UNLINK is laid out as a RET_SUBMIT with nothing transferred."""
    sock.sendall(struct.pack(">IIIII", command, seq, 0, 0, 0) +
                 struct.pack(">iiiii", status, actual, 0, 0, 0) + bytes(8) + payload)


def high_speed_bus():
    """Bus number of vhci's USB 2 root hub, where full-speed devices attach."""
    for hub in glob.glob(VHCI + "/usb[0-9]*"):
        with open(hub + "/speed") as f:
            if f.read().strip() == "480":
                return int(os.path.basename(hub)[3:])
    raise RuntimeError("no USB 2 root hub on vhci_hcd.0")


class Units:
    def __init__(self):
        self.devices = []
        self.ids = set()
        self.leaving = []
        # Held while a port is taken or given back: devices may leave on
        # their own, from their own threads.
        self.lock = threading.RLock()
        self.bus = high_speed_bus()
        with open(VHCI + "/nports") as f:
            total = int(f.read())
        # The ports are counted over every vhci controller; the first half
        # of the first controller's ports are its USB 2 ports.
        self.ports = total // len(glob.glob("/sys/devices/platform/vhci_hcd.*")) // 2

    def node_of(self, port):
        found = glob.glob("/sys/bus/usb/devices/%d-%d:1.0/*/hidraw/hidraw*" % (self.bus, port + 1))
        return found[0] if found else None

    def wait(self, condition, what):
        end = time.monotonic() + BIND_TIMEOUT
        while time.monotonic() < end:
            if condition():
                return
            time.sleep(0.005)
        raise RuntimeError("timed out waiting for the kernel to %s" % what)

    def attach(self, device):
        used = {d.port for d in self.devices if d.port is not None}
        port = next((p for p in range(self.ports) if p not in used), None)
        if port is None:
            raise RuntimeError("no free vhci port")
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        kernel_end = socket.create_connection(listener.getsockname())
        ours, _ = listener.accept()
        listener.close()
        device.port = port
        device.leave = lambda: self.leave(device)
        device.thread = threading.Thread(target=device.serve, args=(ours,), daemon=True)
        # The kernel announces each driver's bind on the uevent socket; it
        # must be listening before the device arrives.
        events = socket.socket(socket.AF_NETLINK, socket.SOCK_DGRAM, NETLINK_KOBJECT_UEVENT)
        events.bind((0, 1))
        device.thread.start()
        try:
            with open(VHCI + "/attach", "w") as f:
                f.write("%d %d %d %d" % (port, kernel_end.fileno(), (self.bus << 16) | (port + 2), SPEED_FULL))
        except OSError:
            device.port = None
            ours.close()
            events.close()
            raise
        finally:
            # The kernel holds its own reference to the socket now.
            kernel_end.close()
        try:
            self.wait_bound(port, events)
        finally:
            events.close()

    def wait_bound(self, port, events):
        """Until the device has its hidraw node, or the kernel has refused it one.

        usbhid adds the HID device from inside its own probe, and the HID
        driver's probe, which parses the report descriptor and creates the
        hidraw node, runs within that. So once usbhid's bind of the
        interface is announced the kernel has decided: a device without a
        node by then was refused and never gets one.
        """
        interface = "/%d-%d:1.0" % (self.bus, port + 1)

        def node():
            found = self.node_of(port)
            return found is not None and os.path.exists("/dev/" + os.path.basename(found))
        end = time.monotonic() + BIND_TIMEOUT
        while not node():
            left = end - time.monotonic()
            if left <= 0:
                raise RuntimeError("timed out waiting for the kernel to bind the device")
            readable, _, _ = select.select([events], [], [], min(left, 0.05))
            if not readable:
                continue
            fields = events.recv(8192).split(b"\0")
            if (fields[0].startswith(b"bind@") and fields[0].endswith(interface.encode()) and
                    b"DRIVER=usbhid" in fields):
                if not node():
                    log("port %d: the kernel bound the interface without a hidraw node: %s" %
                        (port, " / ".join(kernel_hid_errors())))
                return

    def leave(self, device):
        """The device detaches itself, from its own thread; "settle" waits for it."""
        def go():
            with self.lock:
                if device.port is not None:
                    log("device on port %d leaves the bus" % device.port)
                    self.detach(device, join=False)
        thread = threading.Thread(target=go, daemon=True)
        self.leaving.append(thread)
        thread.start()

    def settle(self):
        while self.leaving:
            self.leaving.pop().join(BIND_TIMEOUT)

    def detach(self, device, join=True):
        port = device.port
        node = self.node_of(port)
        with open(VHCI + "/detach", "w") as f:
            f.write("%d" % port)
        device.port = None
        self.wait(lambda: not os.path.exists("/sys/bus/usb/devices/%d-%d" % (self.bus, port + 1)) and
                  (node is None or not os.path.exists("/dev/" + os.path.basename(node))), "release the device")
        if join:
            device.thread.join(5)

    def command(self, words):
        verb, args = words[0], words[1:]
        if verb in ("plug", "unplug", "replug", "reset"):
            log("command: %s" % " ".join(words[:1] if verb == "plug" else words))
        self.settle()
        with self.lock:
            return self.locked_command(verb, args, words)

    def locked_command(self, verb, args, words):
        if verb == "settle":
            return " ".join(["ok"] + [str(i) for i, d in enumerate(self.devices) if d.port is None])
        if verb == "plug":
            device = Device(parse_config(args))
            self.ids.add("%04X:%04X" % (device.cfg["vid"], device.cfg["pid"]))
            self.devices.append(device)
            self.attach(device)
            # A device the kernel gave no hidraw node is said to be unbound.
            bound = device.port is not None and self.node_of(device.port) is not None
            log("port %s: %s" % (device.port, os.path.basename(self.node_of(device.port)) if bound else "no node"))
            return "ok %d%s" % (len(self.devices) - 1, "" if bound else " unbound")
        if verb == "nodes":
            return " ".join(["ok"] + sorted(hidraw_ids()))
        if verb == "plugged":
            return " ".join(["ok"] + [str(i) for i, d in enumerate(self.devices) if d.port is not None])
        if verb == "ids":
            return " ".join(["ok"] + sorted(self.ids))
        if verb == "reset":
            for d in self.devices:
                if d.port is not None:
                    self.detach(d)
            self.devices = []
            return "ok"
        if verb in ("transfers", "unplug", "replug", "reports") and len(args) == 1:
            device = self.devices[int(args[0])]
            if verb == "transfers":
                # The count since the last such command.
                with device.lock:
                    count, device.in_transfers = device.in_transfers, 0
                return "ok %d" % count
            if verb == "unplug":
                if device.port is None:
                    raise RuntimeError("device %s is not plugged" % args[0])
                self.detach(device)
            elif verb == "replug":
                if device.port is not None:
                    raise RuntimeError("device %s is plugged" % args[0])
                self.attach(device)
            else:
                with device.lock:
                    lines = [":".join("%02X" % b for b in r) for r in device.received]
                    device.received = []
                return "\n".join(lines + ["end"])
            return "ok"
        raise RuntimeError("unknown command %r" % " ".join(words))


def parse_config(args):
    cfg = {"vid": 0, "pid": 0, "version": 0, "serial": None, "manufacturer": None, "product": None,
           "report": b"", "feature_len": 0, "input_len": 0, "output_len": 0, "input": "ready",
           "get_report": "answer"}
    for arg in args:
        key, _, value = arg.partition("=")
        if key in ("serial", "manufacturer", "product") and value == "none":
            cfg[key] = None
        elif key in ("serial", "manufacturer", "product"):
            if len(value) % 4:
                raise RuntimeError("%s needs four hex digits a code unit" % key)
            cfg[key] = [int(value[i:i + 4], 16) for i in range(0, len(value), 4)]
        elif key == "report":
            cfg[key] = bytes.fromhex(value)
        elif key == "input":
            cfg[key] = value
        elif key == "get_report":
            if value not in GET_REPORT_BEHAVIOURS:
                raise RuntimeError("get_report is one of %s" % ", ".join(GET_REPORT_BEHAVIOURS))
            cfg[key] = value
        elif key in cfg:
            cfg[key] = int(value, 0)
        else:
            raise RuntimeError("unknown key %r" % key)
    return cfg


def listen(address):
    """A Unix socket path, or HOST:PORT for TCP (the Windows layer has no Unix sockets)."""
    if "/" not in address and ":" in address:
        host, port = address.rsplit(":", 1)
        server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        server.bind((host, int(port)))
    else:
        if os.path.exists(address):
            os.unlink(address)
        server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        server.bind(address)
    server.listen(1)
    return server


def log_udev_events():
    """Logs what the udev daemon, where one runs, tells its listeners of
    hidraw nodes: the layer that lists devices from it (Wine's HID bus) can
    then be told apart from udev when its list and the kernel's disagree."""
    try:
        events = socket.socket(socket.AF_NETLINK, socket.SOCK_DGRAM, NETLINK_KOBJECT_UEVENT)
        events.bind((0, 2))  # the group the daemon sends to once its rules have run
    except OSError:
        return
    while True:
        data = events.recv(65536)
        # libudev's header: "libudev\0", magic, header size, then the offset
        # and length of the NUL-separated properties.
        if len(data) < 24 or not data.startswith(b"libudev\0"):
            continue
        offset, length = struct.unpack_from("=II", data, 16)
        props = dict(p.split(b"=", 1) for p in data[offset:offset + length].split(b"\0") if b"=" in p)
        if props.get(b"SUBSYSTEM") == b"hidraw":
            log("udev: %s %s" % (props.get(b"ACTION", b"?").decode(), props.get(b"DEVNAME", b"?").decode()))


def main():
    threading.Thread(target=log_udev_events, daemon=True).start()
    units = Units()
    # TCP first: a Unix socket's appearance is the sign that all are ready.
    servers = [listen(a) for a in sorted(sys.argv[1:], key=lambda a: "/" in a)]
    while True:
        ready, _, _ = select.select(servers, [], [])
        conn, _ = ready[0].accept()
        with conn, conn.makefile("rw", encoding="ascii", newline="\n") as stream:
            for line in stream:
                words = line.split()
                if not words:
                    continue
                if words == ["quit"]:
                    return
                try:
                    answer = units.command(words)
                except (RuntimeError, ValueError, IndexError, OSError) as e:
                    answer = "error %s" % e
                stream.write(answer + "\n")
                stream.flush()


if __name__ == "__main__":
    main()
