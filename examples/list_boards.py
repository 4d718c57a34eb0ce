#!/usr/bin/env python3
"""Lists the boards and ports that the board management library found, with
each port's open state and byte and error counters, through Python's ctypes.

    python3 list_boards.py [LIBRARY]

LIBRARY defaults to libquormgmt.so.1, found the way the dynamic linker finds
libraries. On Linux the boards are those a running orvalisd publishes in the
host root ($QUOR_HOST_ROOT, else $XDG_RUNTIME_DIR/quor, else /tmp/quor-<uid>).
The codes, sizes and offsets are those of quormgmt.h.
"""
import ctypes
import struct
import sys

MGMT_SUCCESS = 1
MGMT_GET_VERSION, MGMT_GET_BOARD_COUNT, MGMT_GET_BOARD_SUMMARY = 1, 2, 3
MGMT_GET_PORT_STATUS, MGMT_GET_PORT_COUNTERS, MGMT_GET_PORT_NAMES = 7, 8, 10
MGMT_GET_BOARD_NAME = 11
BOARD_SUMMARY_SIZE, BOARD_SUMMARY_PORT_COUNT_COPY = 20, 16
PORT_STATUS_SIZE, PORT_STATUS_OPEN_STATE, PORT_STATUS_CLOSED = 56, 0, 1
PORT_COUNTERS_SIZE, BYTES_TRANSMITTED, BYTES_RECEIVED = 76, 0, 4
ERROR_COUNTERS = (56, 60, 64)
PORT_NAMES_SIZE, PORT_NAMES_FIRST_ENTRY, PORT_NAMES_ENTRY_SIZE = 1028, 4, 16
PORT_NAMES_MAX_ENTRIES = 64


class Library:
    def __init__(self, name):
        self._command = ctypes.CDLL(name).MgmtCommand
        self._command.restype = ctypes.c_int32
        self._command.argtypes = [ctypes.c_int32, ctypes.c_uint32, ctypes.c_void_p,
                                  ctypes.c_uint32, ctypes.c_void_p, ctypes.c_uint32]

    def command(self, board, code, size, argument=None):
        """The output record of a command, or None when it failed."""
        output = ctypes.create_string_buffer(size)
        data = None if argument is None else ctypes.create_string_buffer(
            struct.pack("<I", argument), 4)
        length = 0 if argument is None else 4
        if self._command(board, code, data, length, output, size) != MGMT_SUCCESS:
            return None
        return output.raw

    def word(self, board, code):
        record = self.command(board, code, 4)
        return None if record is None else struct.unpack_from("<I", record)[0]


def word(record, offset):
    return struct.unpack_from("<I", record, offset)[0]


def list_board(library, board):
    name = library.command(board, MGMT_GET_BOARD_NAME, 251)
    print("board %d: %s" % (board, name.split(b"\0")[0].decode("latin-1") if name else ""))
    summary = library.command(board, MGMT_GET_BOARD_SUMMARY, BOARD_SUMMARY_SIZE)
    names = library.command(board, MGMT_GET_PORT_NAMES, PORT_NAMES_SIZE)
    if summary is None or names is None:
        print("  no answer from the driver")
        return
    ports, count = word(summary, BOARD_SUMMARY_PORT_COUNT_COPY), word(names, 0)
    if not 0 < count <= min(ports, PORT_NAMES_MAX_ENTRIES):
        print("  the driver named %d of %d ports" % (count, ports))
        return
    for port in range(count):
        start = PORT_NAMES_FIRST_ENTRY + port * PORT_NAMES_ENTRY_SIZE
        port_name = names[start:start + PORT_NAMES_ENTRY_SIZE].split(b"\0")[0].decode("latin-1")
        status = library.command(board, MGMT_GET_PORT_STATUS, PORT_STATUS_SIZE, port)
        counters = library.command(board, MGMT_GET_PORT_COUNTERS, PORT_COUNTERS_SIZE, port)
        if status is None or counters is None:
            print("  %-6s no answer from the driver" % port_name)
            continue
        closed = word(status, PORT_STATUS_OPEN_STATE) == PORT_STATUS_CLOSED
        errors = sum(word(counters, offset) for offset in ERROR_COUNTERS) & 0xFFFFFFFF
        print("  %-6s %-6s sent %d, received %d, errors %d" % (
            port_name, "closed" if closed else "open", word(counters, BYTES_TRANSMITTED),
            word(counters, BYTES_RECEIVED), errors))


def main():
    library = Library(sys.argv[1] if len(sys.argv) > 1 else "libquormgmt.so.1")
    version = library.word(0, MGMT_GET_VERSION)
    if version is None:
        sys.exit("list_boards.py: the library refused to start")
    boards = library.word(0, MGMT_GET_BOARD_COUNT)
    print("library version %d, %d board(s)" % (version, boards))
    for board in range(1, boards + 1):
        list_board(library, board)


if __name__ == "__main__":
    main()
