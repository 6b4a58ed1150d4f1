/*
 * brnet32: FidoNet addresses, outbound and attach service.
 *
 * The public C interface: twelve plain functions. Every result except
 * brGetLastError's is a one-byte boolean (1 true, 0 false); after a false
 * result brGetLastError() tells why. Texts are NUL-terminated 8-bit strings
 * and NULL reads as the empty text. The library copies whatever it keeps.
 *
 * Usable from C89 and C++.
 */
#ifndef BRNET32_H
#define BRNET32_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define BRAPI __stdcall
#else
#define BRAPI
#endif

#if defined(BRNET32_BUILD) && !defined(_WIN32)
#define BRNET32_EXPORT __attribute__((visibility("default")))
#else
/* On Windows the export table comes from the module definition file, so that
   the stdcall names stay undecorated. */
#define BRNET32_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One-byte boolean result: test the low byte only. */
typedef uint8_t brBool;

/* The packed address record: four 16-bit words; a part that was not given
   reads 65535, a wildcard part 65534. */
typedef struct brAddrRec {
  uint16_t zone;
  uint16_t net;
  uint16_t node;
  uint16_t point;
} brAddrRec;

/* Compile-time size check that works in C89 as well as C++. */
typedef char brAddrRec_is_eight_bytes[(sizeof(brAddrRec) == 8) ? 1 : -1];

#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define BR_INLINE static inline
#elif defined(__GNUC__) || defined(_MSC_VER)
#define BR_INLINE static __inline
#else
#define BR_INLINE static
#endif

/* The two 32-bit words in which brAttachFiles takes an address: zone and
   node in the low 16 bits, net and point in the high 16 bits. */
BR_INLINE uint32_t brZoneNet(const brAddrRec* rec) {
  return (uint32_t)rec->zone | ((uint32_t)rec->net << 16);
}
BR_INLINE uint32_t brNodePoint(const brAddrRec* rec) {
  return (uint32_t)rec->node | ((uint32_t)rec->point << 16);
}

/* Flavours */
#define BR_FLAVOR_IMM 0
#define BR_FLAVOR_CRASH 1
#define BR_FLAVOR_DIRECT 2
#define BR_FLAVOR_NORMAL 3
#define BR_FLAVOR_HOLD 4

/* Outbound types */
#define BR_OUTB_BINK 0
#define BR_OUTB_FILEBOX 1
#define BR_OUTB_ARCMAIL 2
#define BR_OUTB_LONGFILEBOX 3

/* After-sending modes */
#define BR_SEND_NONE 0
#define BR_SEND_KILL 1
#define BR_SEND_TRUNC 2

/* Busy-flag bits */
#define BR_BSY_NORMAL 1
#define BR_BSY_BINK 2
#define BR_BSY_SEMAPHORE 4

/* The twelve functions, in the order a caller binds them. */
BRNET32_EXPORT const char* BRAPI brGetLastError(void);
BRNET32_EXPORT brBool BRAPI brSetMainAddr(const char* addr);
BRNET32_EXPORT brBool BRAPI brValidAddr(const char* addr);
BRNET32_EXPORT brBool BRAPI brParseAddr(const char* addr, brAddrRec* rec);
BRNET32_EXPORT brBool BRAPI brInitOutbound(const char* netmailPath, const char* binkOutPath,
                                           const char* fileBoxesPath);
BRNET32_EXPORT brBool BRAPI brFreeOutbound(void);
BRNET32_EXPORT brBool BRAPI brSetOutboundBsy(const char* flagsPath, uint8_t createFlags,
                                             uint8_t scanFlags);
BRNET32_EXPORT brBool BRAPI brRescanOutbound(void);
/* The destination travels as two 32-bit words, zone|net<<16 and
   node|point<<16 (brZoneNet and brNodePoint make them from a record). */
BRNET32_EXPORT brBool BRAPI brAttachFiles(uint32_t zoneNet, uint32_t nodePoint,
                                          const char* const* files, int32_t count, uint8_t flavor,
                                          uint8_t outbType, uint8_t mode);
BRNET32_EXPORT brBool BRAPI brInitLog(const char* fileName, const char* appShortName);
BRNET32_EXPORT brBool BRAPI brLog(uint8_t level, const char* text);
BRNET32_EXPORT brBool BRAPI brFreeLog(void);

/* Pointer types for binding the functions at run time. */
typedef const char*(BRAPI* brGetLastError_t)(void);
typedef brBool(BRAPI* brSetMainAddr_t)(const char*);
typedef brBool(BRAPI* brValidAddr_t)(const char*);
typedef brBool(BRAPI* brParseAddr_t)(const char*, brAddrRec*);
typedef brBool(BRAPI* brInitOutbound_t)(const char*, const char*, const char*);
typedef brBool(BRAPI* brFreeOutbound_t)(void);
typedef brBool(BRAPI* brSetOutboundBsy_t)(const char*, uint8_t, uint8_t);
typedef brBool(BRAPI* brRescanOutbound_t)(void);
typedef brBool(BRAPI* brAttachFiles_t)(uint32_t, uint32_t, const char* const*, int32_t, uint8_t,
                                       uint8_t, uint8_t);
typedef brBool(BRAPI* brInitLog_t)(const char*, const char*);
typedef brBool(BRAPI* brLog_t)(uint8_t, const char*);
typedef brBool(BRAPI* brFreeLog_t)(void);

#ifdef __cplusplus
}
#endif

#endif /* BRNET32_H */
