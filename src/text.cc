// Appending to fixed-capacity texts.
#include "text.h"

#include <cstring>

namespace tally {
namespace {

// The system's error messages, numbered as Linux numbers errors, in the
// GNU C library's words: the binary may be linked with another C library,
// and the messages stay the same.
const char* const kErrorTexts[] = {
    "Success",                                            // 0
    "Operation not permitted",                            // 1
    "No such file or directory",                          // 2
    "No such process",                                    // 3
    "Interrupted system call",                            // 4
    "Input/output error",                                 // 5
    "No such device or address",                          // 6
    "Argument list too long",                             // 7
    "Exec format error",                                  // 8
    "Bad file descriptor",                                // 9
    "No child processes",                                 // 10
    "Resource temporarily unavailable",                   // 11
    "Cannot allocate memory",                             // 12
    "Permission denied",                                  // 13
    "Bad address",                                        // 14
    "Block device required",                              // 15
    "Device or resource busy",                            // 16
    "File exists",                                        // 17
    "Invalid cross-device link",                          // 18
    "No such device",                                     // 19
    "Not a directory",                                    // 20
    "Is a directory",                                     // 21
    "Invalid argument",                                   // 22
    "Too many open files in system",                      // 23
    "Too many open files",                                // 24
    "Inappropriate ioctl for device",                     // 25
    "Text file busy",                                     // 26
    "File too large",                                     // 27
    "No space left on device",                            // 28
    "Illegal seek",                                       // 29
    "Read-only file system",                              // 30
    "Too many links",                                     // 31
    "Broken pipe",                                        // 32
    "Numerical argument out of domain",                   // 33
    "Numerical result out of range",                      // 34
    "Resource deadlock avoided",                          // 35
    "File name too long",                                 // 36
    "No locks available",                                 // 37
    "Function not implemented",                           // 38
    "Directory not empty",                                // 39
    "Too many levels of symbolic links",                  // 40
    "Unknown error 41",                                   // 41
    "No message of desired type",                         // 42
    "Identifier removed",                                 // 43
    "Channel number out of range",                        // 44
    "Level 2 not synchronized",                           // 45
    "Level 3 halted",                                     // 46
    "Level 3 reset",                                      // 47
    "Link number out of range",                           // 48
    "Protocol driver not attached",                       // 49
    "No CSI structure available",                         // 50
    "Level 2 halted",                                     // 51
    "Invalid exchange",                                   // 52
    "Invalid request descriptor",                         // 53
    "Exchange full",                                      // 54
    "No anode",                                           // 55
    "Invalid request code",                               // 56
    "Invalid slot",                                       // 57
    "Unknown error 58",                                   // 58
    "Bad font file format",                               // 59
    "Device not a stream",                                // 60
    "No data available",                                  // 61
    "Timer expired",                                      // 62
    "Out of streams resources",                           // 63
    "Machine is not on the network",                      // 64
    "Package not installed",                              // 65
    "Object is remote",                                   // 66
    "Link has been severed",                              // 67
    "Advertise error",                                    // 68
    "Srmount error",                                      // 69
    "Communication error on send",                        // 70
    "Protocol error",                                     // 71
    "Multihop attempted",                                 // 72
    "RFS specific error",                                 // 73
    "Bad message",                                        // 74
    "Value too large for defined data type",              // 75
    "Name not unique on network",                         // 76
    "File descriptor in bad state",                       // 77
    "Remote address changed",                             // 78
    "Can not access a needed shared library",             // 79
    "Accessing a corrupted shared library",               // 80
    ".lib section in a.out corrupted",                    // 81
    "Attempting to link in too many shared libraries",    // 82
    "Cannot exec a shared library directly",              // 83
    "Invalid or incomplete multibyte or wide character",  // 84
    "Interrupted system call should be restarted",        // 85
    "Streams pipe error",                                 // 86
    "Too many users",                                     // 87
    "Socket operation on non-socket",                     // 88
    "Destination address required",                       // 89
    "Message too long",                                   // 90
    "Protocol wrong type for socket",                     // 91
    "Protocol not available",                             // 92
    "Protocol not supported",                             // 93
    "Socket type not supported",                          // 94
    "Operation not supported",                            // 95
    "Protocol family not supported",                      // 96
    "Address family not supported by protocol",           // 97
    "Address already in use",                             // 98
    "Cannot assign requested address",                    // 99
    "Network is down",                                    // 100
    "Network is unreachable",                             // 101
    "Network dropped connection on reset",                // 102
    "Software caused connection abort",                   // 103
    "Connection reset by peer",                           // 104
    "No buffer space available",                          // 105
    "Transport endpoint is already connected",            // 106
    "Transport endpoint is not connected",                // 107
    "Cannot send after transport endpoint shutdown",      // 108
    "Too many references: cannot splice",                 // 109
    "Connection timed out",                               // 110
    "Connection refused",                                 // 111
    "Host is down",                                       // 112
    "No route to host",                                   // 113
    "Operation already in progress",                      // 114
    "Operation now in progress",                          // 115
    "Stale file handle",                                  // 116
    "Structure needs cleaning",                           // 117
    "Not a XENIX named type file",                        // 118
    "No XENIX semaphores available",                      // 119
    "Is a named type file",                               // 120
    "Remote I/O error",                                   // 121
    "Disk quota exceeded",                                // 122
    "No medium found",                                    // 123
    "Wrong medium type",                                  // 124
    "Operation canceled",                                 // 125
    "Required key not available",                         // 126
    "Key has expired",                                    // 127
    "Key has been revoked",                               // 128
    "Key was rejected by service",                        // 129
    "Owner died",                                         // 130
    "State not recoverable",                              // 131
    "Operation not possible due to RF-kill",              // 132
    "Memory page has hardware error",                     // 133
};

}  // namespace

void append(Text* t, const char* s, std::size_t n) {
  if (n > t->cap - t->len) {
    t->overflow = true;
    return;
  }
  std::memcpy(t->data + t->len, s, n);
  t->len += n;
}

void append(Text* t, const char* s) {
  append(t, s, std::strlen(s));
}

void append_u64(Text* t, std::uint64_t v) {
  char digits[20];
  std::size_t i = sizeof digits;
  do {
    digits[--i] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  append(t, digits + i, sizeof digits - i);
}

void append_error(Text* t, int err) {
  if (err >= 0 && static_cast<std::size_t>(err) < sizeof kErrorTexts / sizeof kErrorTexts[0]) {
    append(t, kErrorTexts[err]);
    return;
  }
  append(t, "Unknown error ");
  if (err < 0) append(t, "-");
  append_u64(t, err < 0 ? 0 - static_cast<std::uint64_t>(err) : static_cast<std::uint64_t>(err));
}

}  // namespace tally
