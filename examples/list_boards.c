/* Lists the boards and ports that the board management library found, with
 * each port's open state and byte and error counters.
 *
 *   cc -std=c99 list_boards.c $(pkg-config --cflags --libs quormgmt) -o list_boards
 *   ./list_boards
 *
 * On Linux the boards are those a running orvalisd publishes in the host
 * root ($QUOR_HOST_ROOT, else $XDG_RUNTIME_DIR/quor, else /tmp/quor-<uid>). */
#include <quormgmt.h>
#include <stdio.h>

/* Records hold 32-bit little-endian integers at fixed offsets. */
static uint32_t Word(const unsigned char* record, int offset) {
  return (uint32_t)record[offset] | (uint32_t)record[offset + 1] << 8 |
         (uint32_t)record[offset + 2] << 16 | (uint32_t)record[offset + 3] << 24;
}

static void PutWord(unsigned char* record, uint32_t value) {
  for (int i = 0; i < 4; ++i) record[i] = (unsigned char)(value >> (8 * i));
}

static void ListPort(int32_t board, uint32_t port, const char* name) {
  unsigned char index[4];
  unsigned char status[MgmtPortStatusSize];
  unsigned char counters[MgmtPortCountersSize];
  PutWord(index, port);
  if (MgmtCommand(board, MgmtGetPortStatus, index, sizeof index, status, sizeof status) !=
          MgmtSuccess ||
      MgmtCommand(board, MgmtGetPortCounters, index, sizeof index, counters, sizeof counters) !=
          MgmtSuccess) {
    printf("  %-6s no answer from the driver\n", name);
    return;
  }
  const int closed = Word(status, MgmtPortStatusOpenState) == MgmtPortStatusClosed;
  const uint32_t errors = Word(counters, MgmtPortCountersErrors1) +
                          Word(counters, MgmtPortCountersErrors2) +
                          Word(counters, MgmtPortCountersErrors3);
  printf("  %-6s %-6s sent %lu, received %lu, errors %lu\n", name, closed ? "closed" : "open",
         (unsigned long)Word(counters, MgmtPortCountersBytesTransmitted),
         (unsigned long)Word(counters, MgmtPortCountersBytesReceived), (unsigned long)errors);
}

static void ListBoard(int32_t board) {
  char name[251] = "";
  unsigned char summary[MgmtBoardSummarySize];
  unsigned char names[MgmtPortNamesBufferSize];
  MgmtCommand(board, MgmtGetBoardName, NULL, 0, name, sizeof name);
  printf("board %ld: %s\n", (long)board, name);
  if (MgmtCommand(board, MgmtGetBoardSummary, NULL, 0, summary, sizeof summary) != MgmtSuccess ||
      MgmtCommand(board, MgmtGetPortNames, NULL, 0, names, sizeof names) != MgmtSuccess) {
    printf("  no answer from the driver\n");
    return;
  }
  const uint32_t ports = Word(summary, MgmtBoardSummaryPortCountCopy);
  const uint32_t count = Word(names, MgmtPortNamesCount);
  if (count == 0 || count > ports || count > MgmtPortNamesMaxEntries) {
    printf("  the driver named %lu of %lu ports\n", (unsigned long)count, (unsigned long)ports);
    return;
  }
  for (uint32_t port = 0; port < count; ++port) {
    char portName[MgmtPortNamesEntrySize + 1] = "";
    const unsigned char* entry = names + MgmtPortNamesFirstEntry + port * MgmtPortNamesEntrySize;
    for (int i = 0; i < MgmtPortNamesEntrySize && entry[i]; ++i) portName[i] = (char)entry[i];
    ListPort(board, port, portName);
  }
}

int main(void) {
  unsigned char word[4];
  if (MgmtCommand(0, MgmtGetVersion, NULL, 0, word, sizeof word) != MgmtSuccess) {
    fprintf(stderr, "list_boards: the library refused to start\n");
    return 1;
  }
  const uint32_t version = Word(word, 0);
  if (MgmtCommand(0, MgmtGetBoardCount, NULL, 0, word, sizeof word) != MgmtSuccess) return 1;
  const uint32_t boards = Word(word, 0);
  printf("library version %lu, %lu board(s)\n", (unsigned long)version, (unsigned long)boards);
  for (uint32_t board = 1; board <= boards; ++board) ListBoard((int32_t)board);
  return 0;
}
