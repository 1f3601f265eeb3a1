# Drives vek-console as a real process: the server through a socket client
# on the loopback address, and interrupts through real signals.
#   client.py CASE CONSOLE [SCRIPT]
# Exits 0 when the case passes; otherwise prints what differed and exits 1.
import os, re, select, signal, socket, struct, subprocess, sys, time

CONSOLE = sys.argv[2]
PROMPT = "      "
TIMEOUT = 20.0
started = []   # processes to end when a case fails


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def frame(text):
    data = text.encode()
    return struct.pack(">I", len(data)) + data


def start(*arguments, **pipes):
    proc = subprocess.Popen([CONSOLE, *arguments], stdout=subprocess.PIPE, **pipes)
    started.append(proc)
    return proc


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Output:
    """What a pipe or socket delivered, taken piece by piece in order."""

    def __init__(self, read):
        self.read = read
        self.text = b""
        self.pos = 0

    def more(self, deadline, what):
        check(time.time() < deadline, "timed out waiting for %s; got %r" % (what, self.text[self.pos:]))
        chunk = self.read(deadline - time.time())
        check(chunk != b"", "ended while waiting for %s; got %r" % (what, self.text[self.pos:]))
        if chunk is not None:
            self.text += chunk

    def until(self, marker):
        # Everything up to and including the next `marker`.
        marker = marker.encode()
        deadline = time.time() + TIMEOUT
        while marker not in self.text[self.pos:]:
            self.more(deadline, repr(marker))
        end = self.text.index(marker, self.pos) + len(marker)
        got, self.pos = self.text[self.pos:end], end
        return got.decode()

    def expect(self, expected):
        data = expected.encode()
        deadline = time.time() + TIMEOUT
        while len(self.text) - self.pos < len(data):
            self.more(deadline, repr(data))
        got = self.text[self.pos:self.pos + len(data)]
        check(got == data, "expected %r, got %r" % (data, self.text[self.pos:]))
        self.pos += len(data)

    def expect_report(self, name, lines):
        # An interrupt's report: an empty line, the function line where the
        # statement stopped (one of `lines`: the signal may come before the
        # loop is reached), a caret under it, the prompt.
        report = self.until("^\n")
        location = re.escape(name) + r"\[\d+\]  (?:" + "|".join(map(re.escape, lines)) + ")"
        found = re.fullmatch(r"\n(" + location + r")\n( +)\^\n", report)
        check(found and len(found.group(2)) < len(found.group(1)), "report %r" % report)
        self.expect(PROMPT)


def pipe_reader(pipe):
    def read(wait):
        ready, _, _ = select.select([pipe], [], [], max(wait, 0))
        return os.read(pipe.fileno(), 65536) if ready else None
    return read


def socket_reader(sock):
    def read(wait):
        ready, _, _ = select.select([sock], [], [], max(wait, 0))
        return sock.recv(65536) if ready else None
    return read


def start_server(port):
    proc = start("--serve", str(port), stdin=subprocess.DEVNULL)
    log = Output(pipe_reader(proc.stdout))
    log.until("===========waiting for client's request===========\n")
    sock = socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    out = Output(socket_reader(sock))
    out.until("CLEAR WS\n\n" + PROMPT)
    return proc, log, sock, out


def server_ends_closed(proc, log):
    log.until("connection closed\n")
    check(proc.wait(timeout=TIMEOUT) == 0, "exit status %r" % proc.returncode)


def session(out, sock, line, reply):
    sock.sendall(frame(line))
    out.expect(line + "\n" + reply + PROMPT)


# ---- Server cases --------------------------------------------------------

def case_frames():
    proc, log, sock, out = start_server(free_port())
    session(out, sock, "1+2+3", "6\n")
    session(out, sock, "1 2+1 2 3", "Error: length error\n      1 2+1 2 3\n         ^\n")
    # one frame in single bytes, the prefix and the text alike
    for byte in frame("2*3"):
        sock.send(bytes([byte]))
        time.sleep(0.01)
    out.expect("2*3\n6\n" + PROMPT)
    # two frames in one send
    sock.sendall(frame("1+1") + frame("2+2"))
    out.expect("1+1\n2\n" + PROMPT + "2+2\n4\n" + PROMPT)
    # a length of 200 is read whole: 00 00 00 C8
    line = "1" + "+1" * 99 + " "
    check(frame(line)[:4] == b"\x00\x00\x00\xc8", "prefix of 200")
    session(out, sock, line, "100\n")
    # the longest frame taken, and one byte more refused alone
    line = "1+2 //" + "x" * 4089
    check(len(line) == 4095, "longest line")
    session(out, sock, line, "3\n")
    sock.sendall(frame("1" * 4096) + frame("3+4"))
    out.expect("line of 4096 bytes refused: at most 4095\n" + PROMPT + "3+4\n7\n" + PROMPT)
    sock.sendall(frame("9" * 100000))
    out.expect("line of 100000 bytes refused: at most 4095\n" + PROMPT)
    # an empty frame is an empty line, not the end
    sock.sendall(frame(""))
    out.expect("\n" + PROMPT)
    # keyboard input takes the next frame
    sock.sendall(frame("a<-[]") + frame("hello") + frame("a"))
    out.expect("a<-[]\nhello\n" + PROMPT + "a\nhello\n" + PROMPT)
    sock.close()
    server_ends_closed(proc, log)


def case_leave_mid_frame():
    proc, log, sock, out = start_server(free_port())
    sock.sendall(struct.pack(">I", 10) + b"1+2")
    time.sleep(0.1)
    sock.close()
    server_ends_closed(proc, log)


def case_short_prefix():
    proc, log, sock, out = start_server(free_port())
    session(out, sock, "1+2", "3\n")
    sock.sendall(b"\x00\x00")
    time.sleep(0.1)
    sock.close()
    server_ends_closed(proc, log)


def case_leave_while_printing():
    # The client goes while a statement prints without end: the failed
    # writes stop the statement and the server ends normally.
    proc, log, sock, out = start_server(free_port())
    session(out, sock, "{p: i<-x; while (1) {[]<-i; i<-i+1}}", "p\n")
    sock.sendall(frame("p 0"))
    out.until("p 0\n0\n")
    sock.close()
    server_ends_closed(proc, log)


def case_port_in_use():
    holder = socket.socket()
    holder.bind(("127.0.0.1", 0))
    holder.listen(1)
    port = holder.getsockname()[1]
    proc = subprocess.run([CONSOLE, "--serve", str(port)], stdout=subprocess.PIPE, timeout=TIMEOUT)
    holder.close()
    text = proc.stdout.decode()
    check(proc.returncode == 1, "exit status %r" % proc.returncode)
    check("bind socket error: Address already in use(errno: 98)\n" in text, "message: %r" % text)


def case_server_interrupt():
    proc, log, sock, out = start_server(free_port())
    session(out, sock, "{spin: []<-'looping'; i<-x; while (1) i<-i+1; i}", "spin\n")
    sock.sendall(frame("spin 0"))
    out.until("spin 0\nlooping\n")
    proc.send_signal(signal.SIGINT)
    out.expect_report("spin", ["i<-x", "while (1) i<-i+1"])
    session(out, sock, "1+2", "3\n")
    sock.close()
    server_ends_closed(proc, log)


# ---- Console interrupts -----------------------------------------------------

def case_console_interrupt():
    script = sys.argv[3]
    proc = start("--script", script, stdin=subprocess.PIPE)
    out = Output(pipe_reader(proc.stdout))

    def send(line):
        proc.stdin.write((line + "\n").encode())
        proc.stdin.flush()

    def interrupt_loop(call, name, line):
        send(call)
        out.until("looping\n")
        proc.send_signal(signal.SIGINT)
        out.expect_report(name, line)

    out.until("saved ")
    out.until(PROMPT)
    interrupt_loop("endless 5", "endless", ["z<-x", "while (1) z<-z+1"])
    send("1+2")
    out.expect("3\n" + PROMPT)
    time.sleep(1.2)   # a second interrupt within a second would end the program
    interrupt_loop("count_to_nothing", "count_to_nothing", ["for (i: 1; empty) z<-i"])
    time.sleep(1.2)
    # a line that only branches to itself: no application to stop at
    interrupt_loop("jump", "jump", ["again: ->again"])
    send(")SI")
    # every call stays suspended, the newest on top
    listing = out.until("*\n" + PROMPT)
    check(re.fullmatch(r"jump\[\d+\] again: ->again\n\*\n"
                       r"count_to_nothing\[\d+\] for \(i: 1; empty\) z<-i\n\*\n"
                       r"endless\[\d+\] (?:z<-x|while \(1\) z<-z\+1)\n\*\n {6}", listing), "state: %r" % listing)
    time.sleep(1.2)
    send("endless 0")
    out.until("looping\n")
    proc.send_signal(signal.SIGINT)
    time.sleep(0.1)
    proc.send_signal(signal.SIGINT)
    check(proc.wait(timeout=TIMEOUT) == -signal.SIGINT, "exit %r" % proc.returncode)


if __name__ == "__main__":
    try:
        globals()["case_" + sys.argv[1]]()
    except Failure as f:
        print("FAILED:", f)
        for proc in started:
            proc.kill()
        sys.exit(1)
    print("passed")
