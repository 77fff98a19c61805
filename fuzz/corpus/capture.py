#!/usr/bin/env python3
"""Makes the seed inputs of the fuzz targets (fuzz/corpus/<target>/).

Runs korvianet-modem-sim and `korvianet-cli run` with a relay pty between
them, records the DIAG frames both ways, and writes them as the inputs each
target reads; adds the settings files the run wrote, the program's own Jet
statements, APN lists and traffic records. Usage:
    fuzz/corpus/capture.py <build>/bin
Inputs are named by content, so a rerun only adds what is new.
"""
import hashlib, os, pty, select, shutil, struct, subprocess, sys, tempfile, termios, time, tty

here = os.path.dirname(os.path.abspath(__file__))
bindir = os.path.abspath(sys.argv[1])


def save(target, data):
    d = os.path.join(here, target)
    os.makedirs(d, exist_ok=True)
    name = hashlib.sha1(data).hexdigest()[:16]
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def unescape(frame):
    out, esc = bytearray(), False
    for b in frame:
        if esc:
            out.append(b ^ 0x20)
            esc = False
        elif b == 0x7D:
            esc = True
        else:
            out.append(b)
    return bytes(out)


def split_frames(stream):
    frames, cur = [], bytearray()
    for b in stream:
        cur.append(b)
        if b == 0x7E:
            if len(cur) > 1:
                frames.append(bytes(cur))
            cur = bytearray()
    return frames


def capture(seconds):
    work = tempfile.mkdtemp(prefix="kvcorpus")
    env = dict(os.environ, KORVIANET_CONFIG_DIR=work + "/cfg", KORVIANET_DATA_DIR=work + "/data",
               HOME=work)
    sim = subprocess.Popen([bindir + "/korvianet-modem-sim", "--no-register"], env=env,
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    simtty = sim.stdout.readline().strip()
    simfd = os.open(simtty, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(simfd)
    master, slave = pty.openpty()
    tty.setraw(master)
    tty.setraw(slave)
    relay = os.ttyname(slave)
    os.close(slave)
    cli = subprocess.Popen([bindir + "/korvianet-cli", "--device", relay, "run", "--seconds", str(seconds)],
                           env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    up, down = bytearray(), bytearray()
    end = time.time() + seconds + 5
    while cli.poll() is None and time.time() < end:
        r, _, _ = select.select([master, simfd], [], [], 0.2)
        for fd in r:
            try:
                data = os.read(fd, 4096)
            except OSError:
                data = b""
            if fd == master:
                up += data
                os.write(simfd, data)
            else:
                down += data
                os.write(master, data)
    cli.wait(timeout=10)
    # AT answers, asked on the simulator's port directly.
    for cmd in ["AT+CSQ", "AT+CIMI", "AT+CPIN?", "AT^SYSINFO", "AT+CGMR", "ATI", "AT+CGDCONT?", "AT"]:
        os.write(simfd, (cmd + "\r").encode())
        answer, until = bytearray(), time.time() + 1.0
        while time.time() < until:
            r, _, _ = select.select([simfd], [], [], 0.1)
            if r:
                answer += os.read(simfd, 4096)
                if b"OK" in answer or b"ERROR" in answer:
                    break
        if answer:
            save("fuzz_net_at", bytes(answer))
    sim.stdin.write("quit\n")
    sim.stdin.flush()
    try:
        sim.wait(timeout=5)
    except subprocess.TimeoutExpired:
        sim.kill()
    for name in ("teal_dialer.ini", "syskor.ini"):
        p = os.path.join(work, "cfg", name)
        if os.path.exists(p):
            save("fuzz_profile", open(p, "rb").read())
    shutil.rmtree(work, ignore_errors=True)
    return split_frames(bytes(up)), split_frames(bytes(down))


def main():
    requests, replies = capture(8)
    reqs = {unescape(f)[:-3] for f in requests if len(unescape(f)) > 3}
    reps = {}
    for f in replies:
        body = unescape(f)[:-3]
        if body:
            reps.setdefault(body, f)
    # Keep the corpus small: one input per distinct command/sub-command.
    def key(p):
        return p[:1] + (p[1:3] if p[:1] in (b"\xcf", b"\xd0", b"\xd1", b"\xd2") else b"")
    seen = set()
    for body, frame in reps.items():
        k = key(body)
        if k in seen and len(seen) > 8:
            continue
        seen.add(k)
        save("fuzz_link_frame", body[:1] + frame)
        save("fuzz_link_replies", body)
        save("fuzz_messaging_sms", body)
        if len(body) > 40:
            save("fuzz_messaging_pbname", body[-120:])
    # The simulator's script: demo data, then raw requests as the program sent them.
    script = bytearray(b"\x01")
    for r in sorted(reqs)[:40]:
        if len(r) < 256:
            script += bytes([0, len(r)]) + r
    save("fuzz_sim", bytes(script))
    for r in sorted(reqs)[:12]:
        if len(r) < 256:
            save("fuzz_sim", b"\x00\x00" + bytes([len(r)]) + r)

    # Settings and APN lists as users have them.
    save("fuzz_profile", b"[chv1]\r\nnum=1234\r\n[history_num]\r\nnum=12\r\n[apn]\r\nname=internet\r\n")
    save("fuzz_static_apn", b"internet\r\nwap.example\r\n#cdma\r\n\r\nmms\n")
    save("fuzz_static_apn", b"INTERNET\n")
    # The Jet statements the program itself runs.
    for q in ["select * from tealfin_sms order by time asc",
              "select * from tealfin_pbook order by index desc",
              "select * from tealfin_pbook where storage_type=1 order by index",
              "select * from tealfin_pbook where index=3 and storage_type=2",
              "select * from tealfin_pbook where name like '*ann*' and storage_type=1   order by index",
              "select * from tealfin_pbook where (storage_type=2) and  ((phone_number like '*55*') or (name like '*55*')) order by index",
              "select * from tealfin_pbook where tealfin_pbook.phone_number='5551234'",
              "select * from tealfin_vcall order by index desc",
              "select * from tealfin_vcall where index=7"]:
        save("fuzz_data_jet", q.encode())
    # Traffic files: a window, then three sessions.
    rec = lambda t, d, s, r: struct.pack("<qIIII", t, 0, d, s, r)
    window = struct.pack("<qqq", 1767225600, 1767225600, 1769904000)
    save("fuzz_traffic_records", window + rec(1767300000, 600000, 120000, 4500000)
         + rec(1767400000, 30000, 800, 2000) + rec(1767500000, 3600000, 9000000, 250000000))
    save("fuzz_traffic_records", rec(1767300000, 600000, 120000, 4500000))


main()
