/*
 * A stand-in for brnet32 that records every call instead of doing the work:
 * each call appends one line to the file named by $BR_STANDIN_LOG. The
 * functions named in $BR_STANDIN_FAIL (comma-separated) fail with the text
 * "stand-in: NAME failed". Built once complete and once without brFreeLog.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "api/brnet32.h"

static char lastError[256] = "";

static void Record(const char* fmt, const char* a, const char* b, const char* c) {
  const char* path = getenv("BR_STANDIN_LOG");
  FILE* f;
  if (path == NULL || (f = fopen(path, "a")) == NULL) return;
  fprintf(f, fmt, a ? a : "<null>", b ? b : "<null>", c ? c : "<null>");
  fputc('\n', f);
  fclose(f);
}

static int Fails(const char* name) {
  const char* list = getenv("BR_STANDIN_FAIL");
  size_t n = strlen(name);
  const char* p = list;
  while (p != NULL && (p = strstr(p, name)) != NULL) {
    if ((p == list || p[-1] == ',') && (p[n] == '\0' || p[n] == ',')) {
      snprintf(lastError, sizeof lastError, "stand-in: %s failed", name);
      return 1;
    }
    p += n;
  }
  return 0;
}

/* zone:net/node.point@domain with parts left out as the real grammar
   allows; 65535 for a part not given. Enough to tell valid from invalid. */
static int Parse(const char* text, brAddrRec* rec) {
  long part[4] = {-1, -1, -1, -1};
  const char* p = text;
  char* end;
  int stage = 0; /* which separator may come next: 0 ':', 1 '/', 2 '.', 3 '@' */
  if (text == NULL) return 0;
  while (*p != '\0' && *p != '@') {
    long v;
    if (*p == '.') {
      if (stage > 2) return 0;
      v = strtol(p + 1, &end, 10);
      if (end == p + 1) return 0;
      part[3] = v, stage = 3, p = end;
      continue;
    }
    v = strtol(p, &end, 10);
    if (end == p || v < 0 || v > 65535) return 0;
    p = end;
    if (*p == ':' && stage == 0) {
      part[0] = v, stage = 1, ++p;
    } else if (*p == '/' && stage <= 1) {
      part[1] = v, stage = 2, ++p;
    } else if ((*p == '\0' || *p == '.' || *p == '@') && stage != 1) {
      part[2] = v, stage = 2;
    } else {
      return 0;
    }
  }
  if (rec != NULL) {
    rec->zone = (uint16_t)part[0];
    rec->net = (uint16_t)part[1];
    rec->node = (uint16_t)part[2];
    rec->point = (uint16_t)(part[3] < 0 ? 0 : part[3]);
  }
  return 1;
}

const char* BRAPI brGetLastError(void) { return lastError; }

brBool BRAPI brSetMainAddr(const char* addr) {
  Record("brSetMainAddr %s", addr, 0, 0);
  return !Fails("brSetMainAddr");
}

brBool BRAPI brValidAddr(const char* addr) {
  Record("brValidAddr %s", addr, 0, 0);
  return (brBool)Parse(addr ? addr : "", NULL);
}

brBool BRAPI brParseAddr(const char* addr, brAddrRec* rec) {
  Record("brParseAddr %s", addr, 0, 0);
  return (brBool)Parse(addr, rec);
}

brBool BRAPI brInitOutbound(const char* netmail, const char* bink, const char* boxes) {
  Record("brInitOutbound %s %s %s", netmail, bink, boxes);
  return !Fails("brInitOutbound");
}

brBool BRAPI brFreeOutbound(void) {
  Record("brFreeOutbound", 0, 0, 0);
  return 1;
}

brBool BRAPI brSetOutboundBsy(const char* flagsPath, uint8_t create, uint8_t scan) {
  char c[8], s[8];
  snprintf(c, sizeof c, "%u", create);
  snprintf(s, sizeof s, "%u", scan);
  Record("brSetOutboundBsy %s %s %s", flagsPath, c, s);
  return !Fails("brSetOutboundBsy");
}

brBool BRAPI brRescanOutbound(void) {
  Record("brRescanOutbound", 0, 0, 0);
  return !Fails("brRescanOutbound");
}

brBool BRAPI brAttachFiles(uint32_t zoneNet, uint32_t nodePoint, const char* const* files,
                           int32_t count, uint8_t flavor, uint8_t outbType, uint8_t mode) {
  char head[128];
  int32_t i;
  snprintf(head, sizeof head, "%u:%u/%u.%u count=%d flavor=%u type=%u mode=%u",
           (unsigned)(zoneNet & 0xFFFFu), (unsigned)(zoneNet >> 16),
           (unsigned)(nodePoint & 0xFFFFu), (unsigned)(nodePoint >> 16), (int)count, flavor,
           outbType, mode);
  Record("brAttachFiles %s", head, 0, 0);
  for (i = 0; files != NULL && i < count; ++i) Record("  file %s", files[i], 0, 0);
  return !Fails("brAttachFiles");
}

brBool BRAPI brInitLog(const char* fileName, const char* app) {
  Record("brInitLog %s %s", fileName, app, 0);
  return 1;
}

brBool BRAPI brLog(uint8_t level, const char* text) {
  (void)level;
  Record("brLog %s", text, 0, 0);
  return 1;
}

#ifndef STANDIN_NO_FREELOG
brBool BRAPI brFreeLog(void) {
  Record("brFreeLog", 0, 0, 0);
  return 1;
}
#endif
