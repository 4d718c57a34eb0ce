/* quormgmt: the board management library of Quor Tallyport.
 *
 * One function, MgmtCommand, answers what the library found when it was
 * loaded and forwards port requests to the board driver. Loading the library
 * (linking it, dlopen, LoadLibrary, Python ctypes) finds the boards once; a
 * library whose start-up was refused answers MgmtFailure to every command.
 *
 * MgmtCommand(board, command, input, inputLength, output, outputLength)
 * returns MgmtSuccess or MgmtFailure and nothing else. The caller owns both
 * buffers; the library never keeps a pointer after the call returns. A
 * failed command leaves the output untouched, except a forwarded driver
 * request (commands 5 to 10), whose output must not be used then.
 *
 * Records are byte arrays: every integer is 32-bit little-endian at the
 * offset named below, texts are 8-bit and NUL-terminated. Boards are numbered
 * from 1 (board 1 was found last); ports from 0 within a board.
 *
 * Threads: the library takes no lock; make all calls from one thread.
 *
 * Valid C99 and C++. */
#ifndef QUORMGMT_H
#define QUORMGMT_H

#include <stdint.h>

#if defined(_WIN32)
#define QUORMGMT_CALL __cdecl
#define QUORMGMT_API
#else
#define QUORMGMT_CALL
#define QUORMGMT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum MgmtResult { MgmtSuccess = 1, MgmtFailure = 2 } MgmtResult;

typedef enum MgmtCommandCode {
  MgmtGetVersion = 1,       /* u32, at least 4 bytes */
  MgmtGetBoardCount = 2,    /* u32, at least 4 bytes; board ignored */
  MgmtGetBoardSummary = 3,  /* MgmtBoardSummary, at least 20 bytes */
  MgmtGetDriverInfo = 4,    /* MgmtDriverInfo, at least 132 bytes */
  MgmtDriverRequest800 = 5, /* forwarded as IOCTL_BOARD_FUNCTION_800 */
  MgmtGetBoardInfo = 6,     /* forwarded: MgmtBoardInfo */
  MgmtGetPortStatus = 7,    /* forwarded; input: u32 port index; MgmtPortStatus */
  MgmtGetPortCounters = 8,  /* forwarded; input: u32 port index; MgmtPortCounters */
  MgmtDriverRequest804 = 9, /* forwarded as IOCTL_BOARD_FUNCTION_804 */
  MgmtGetPortNames = 10,    /* forwarded: MgmtPortNames */
  MgmtGetBoardName = 11     /* NUL-terminated text; the output must be longer */
} MgmtCommandCode;

/* What MgmtGetVersion answers. */
enum { MgmtLibraryVersion = 1 };

/* Board driver requests (device type 0x22, any access, buffered). Command n
 * from 5 to 10 is forwarded as IOCTL_BOARD_FUNCTION_800 + 4 * (n - 5). */
typedef enum MgmtBoardRequest {
  IOCTL_BOARD_FUNCTION_800 = 0x222000,
  IOCTL_BOARD_GET_INFO = 0x222004,
  IOCTL_BOARD_GET_PORT_STATUS = 0x222008,
  IOCTL_BOARD_GET_PORT_COUNTERS = 0x22200C,
  IOCTL_BOARD_FUNCTION_804 = 0x222010,
  IOCTL_BOARD_GET_PORT_NAMES = 0x222014,
  IOCTL_BOARD_SELECT = 0x222018,
  IOCTL_BOARD_GET_REGISTRY_PATH = 0x22201C
} MgmtBoardRequest;

/* MgmtBoardSummary: five u32 words. */
enum {
  MgmtBoardSummarySize = 20,
  MgmtBoardSummaryBoardNumber = 0,
  MgmtBoardSummaryBoardNumberCopy = 4,
  MgmtBoardSummaryBoardInfoWord0 = 8,
  MgmtBoardSummaryPortCount = 12,
  MgmtBoardSummaryPortCountCopy = 16 /* the word Harbex reads */
};

/* MgmtDriverInfo: u32 3, then two NUL-terminated 64-byte texts. */
enum {
  MgmtDriverInfoSize = 132,
  MgmtDriverInfoFormat = 0,
  MgmtDriverInfoFormatValue = 3,
  MgmtDriverInfoDriverName = 4,
  MgmtDriverInfoDriverVersion = 68,
  MgmtDriverInfoTextSize = 64
};

/* MgmtBoardInfo, produced by the driver; the rest is the driver's own. */
enum { MgmtBoardInfoSize = 120, MgmtBoardInfoWord0 = 0, MgmtBoardInfoPortCount = 4 };

/* MgmtPortStatus, produced by the driver. Line bytes (u8): 0 = not available,
 * 2 = asserted, any other value = not asserted. Values of 0 in the baud,
 * data bits, stop bits and parity words mean "not reported". */
enum {
  MgmtPortStatusSize = 56,
  MgmtPortStatusOpenState = 0, /* 1 = closed, any other value = open */
  MgmtPortStatusRts = 24,
  MgmtPortStatusCts = 25,
  MgmtPortStatusDtr = 26,
  MgmtPortStatusDsr = 27,
  MgmtPortStatusRi = 28,
  MgmtPortStatusCd = 29,
  MgmtPortStatusBaud = 32,
  MgmtPortStatusBaudCopy = 36,     /* differs from the baud word: an error */
  MgmtPortStatusDataBitsCode = 44, /* 9 - data bits */
  MgmtPortStatusStopBits = 48,     /* 1, 2, or 3 for one and a half */
  MgmtPortStatusParity = 52,       /* 1 none, 2 odd, 3 even, 4 space, 5 mark */
  MgmtPortStatusClosed = 1,
  MgmtLineNotAvailable = 0,
  MgmtLineNotAsserted = 1,
  MgmtLineAsserted = 2
};

/* MgmtPortCounters, produced by the driver. */
enum {
  MgmtPortCountersSize = 76,
  MgmtPortCountersBytesTransmitted = 0,
  MgmtPortCountersBytesReceived = 4,
  MgmtPortCountersErrors1 = 56,
  MgmtPortCountersErrors2 = 60,
  MgmtPortCountersErrors3 = 64
};

/* MgmtPortNames: u32 count, then one 16-byte NUL-padded name ("COMn") per
 * port in port-index order. 1028 bytes hold the count and 64 names. */
enum {
  MgmtPortNamesCount = 0,
  MgmtPortNamesFirstEntry = 4,
  MgmtPortNamesEntrySize = 16,
  MgmtPortNamesMaxEntries = 64,
  MgmtPortNamesBufferSize = 1028
};

typedef int32_t(QUORMGMT_CALL* MgmtCommandFunction)(int32_t board, uint32_t command,
                                                    const void* input, uint32_t inputLength,
                                                    void* output, uint32_t outputLength);

QUORMGMT_API int32_t QUORMGMT_CALL MgmtCommand(int32_t board, uint32_t command, const void* input,
                                               uint32_t inputLength, void* output,
                                               uint32_t outputLength);

#ifdef __cplusplus
}
#endif

#endif /* QUORMGMT_H */
