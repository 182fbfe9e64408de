"""UDP ports for the Python tests that start the real program."""
import socket


def free_udp_port_run(first, last, count):
    """The first of count UDP ports in a row, all free now, within first..last (both included)."""
    for base in range(first, last - count + 2):
        sockets = []
        try:
            for port in range(base, base + count):
                s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                sockets.append(s)
                s.bind(("0.0.0.0", port))
            return base
        except OSError:
            continue
        finally:
            for s in sockets:
                s.close()
    raise RuntimeError("no %d free UDP ports in a row in %d..%d" % (count, first, last))
