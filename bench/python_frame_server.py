# The peer of server_bench: a CPython server for the same frames (a 4-byte
# big-endian length, then the line), answering each with the echo, the
# value of the line as an expression, and the prompt of six blanks.
#   python_frame_server.py PORT
import socket, struct, sys

listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", int(sys.argv[1])))
listener.listen(1)
print("listening", flush=True)
conn, _ = listener.accept()
conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
listener.close()


def read_exact(n):
    data = b""
    while len(data) < n:
        piece = conn.recv(n - len(data))
        if not piece:
            return None
        data += piece
    return data


conn.sendall(b"CLEAR WS\n\n      ")
while True:
    prefix = read_exact(4)
    if prefix is None:
        break
    line = read_exact(struct.unpack(">I", prefix)[0])
    if line is None:
        break
    text = line.decode()
    conn.sendall((text + "\n" + repr(eval(text)) + "\n      ").encode())
conn.close()
