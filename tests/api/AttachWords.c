/* brAttachFiles called from C as its table documents it: the destination as
   two 32-bit integers, the library loaded at run time and the function bound
   by name. Attaches one file to a node, a point and a node of another zone
   and checks each flow file's line.

   usage: attach_words LIBRARY
   Works in a fresh directory below the current one; exit status 0 when every
   check passed. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "brnet32.h"

#ifdef _WIN32
#include <direct.h>
#include <process.h>
#include <windows.h>
#define SEP "\\"
static void* OpenLib(const char* path) {
  return (void*)LoadLibraryA(path);
}
static void* Sym(void* lib, const char* name) {
  return (void*)(uintptr_t)GetProcAddress((HMODULE)lib, name);
}
static int MakeDir(const char* path) {
  return _mkdir(path);
}
static int RemoveDir(const char* path) {
  return _rmdir(path);
}
static int ProcessId(void) {
  return _getpid();
}
#else
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#define SEP "/"
static void* OpenLib(const char* path) {
  return dlopen(path, RTLD_NOW);
}
static void* Sym(void* lib, const char* name) {
  return dlsym(lib, name);
}
static int MakeDir(const char* path) {
  return mkdir(path, 0755);
}
static int RemoveDir(const char* path) {
  return rmdir(path);
}
static int ProcessId(void) {
  return (int)getpid();
}
#endif

static int failures = 0;

static void Check(int ok, const char* what, const char* detail) {
  if (!ok) {
    fprintf(stderr, "FAILED: %s %s\n", what, detail ? detail : "");
    ++failures;
  }
}

/* The whole content of PATH into BUF; an empty text when it cannot be read. */
static void ReadAll(const char* path, char* buf, size_t size) {
  FILE* f = fopen(path, "rb");
  size_t n = 0;
  buf[0] = '\0';
  if (f == NULL) return;
  n = fread(buf, 1, size - 1, f);
  buf[n] = '\0';
  fclose(f);
}

typedef struct Case {
  uint32_t zoneNet;
  uint32_t nodePoint;
  const char* flowFile; /* below the work directory */
} Case;

int main(int argc, char** argv) {
  char work[64], out[96], file[96], path[192], expected[128], got[256];
  const char* files[1];
  brAddrRec rec;
  /* 2:5020/1234, 2:5020/1234.5 and 3:100/1 with 2:5020/100 as main address;
     the first word is zone|net<<16, the second node|point<<16. */
  const Case cases[3] = {
      {2u | (5020u << 16), 1234u, "out" SEP "139c04d2.flo"},
      {2u | (5020u << 16), 1234u | (5u << 16), "out" SEP "139c04d2.pnt" SEP "00000005.flo"},
      {3u | (100u << 16), 1u, "out.003" SEP "00640001.flo"},
  };
  void* lib;
  brSetMainAddr_t setMainAddr;
  brInitOutbound_t initOutbound;
  brSetOutboundBsy_t setOutboundBsy;
  brAttachFiles_t attachFiles;
  brFreeOutbound_t freeOutbound;
  brParseAddr_t parseAddr;
  brGetLastError_t lastError;
  FILE* f;
  int i;

  if (argc != 2) {
    fprintf(stderr, "usage: attach_words LIBRARY\n");
    return 2;
  }
  lib = OpenLib(argv[1]);
  if (lib == NULL) {
    fprintf(stderr, "cannot load %s\n", argv[1]);
    return 2;
  }
  setMainAddr = (brSetMainAddr_t)(uintptr_t)Sym(lib, "brSetMainAddr");
  initOutbound = (brInitOutbound_t)(uintptr_t)Sym(lib, "brInitOutbound");
  setOutboundBsy = (brSetOutboundBsy_t)(uintptr_t)Sym(lib, "brSetOutboundBsy");
  attachFiles = (brAttachFiles_t)(uintptr_t)Sym(lib, "brAttachFiles");
  freeOutbound = (brFreeOutbound_t)(uintptr_t)Sym(lib, "brFreeOutbound");
  parseAddr = (brParseAddr_t)(uintptr_t)Sym(lib, "brParseAddr");
  lastError = (brGetLastError_t)(uintptr_t)Sym(lib, "brGetLastError");
  if (!setMainAddr || !initOutbound || !setOutboundBsy || !attachFiles || !freeOutbound ||
      !parseAddr || !lastError) {
    fprintf(stderr, "a br function is missing\n");
    return 2;
  }

  sprintf(work, "attach_words.%d", ProcessId());
  if (MakeDir(work) != 0) {
    fprintf(stderr, "cannot create %s\n", work);
    return 2;
  }
  sprintf(out, "%s" SEP "out", work);
  sprintf(file, "%s" SEP "a.zip", work);
  f = fopen(file, "wb");
  if (f == NULL) return 2;
  fputs("data", f);
  fclose(f);
  files[0] = file;

  Check(setMainAddr("2:5020/100") & 0xFF, "brSetMainAddr", lastError());
  Check(initOutbound(NULL, out, NULL) & 0xFF, "brInitOutbound", lastError());
  Check(setOutboundBsy(NULL, BR_BSY_NORMAL, BR_BSY_NORMAL) & 0xFF, "brSetOutboundBsy", lastError());
  for (i = 0; i < 3; ++i) {
    Check(attachFiles(cases[i].zoneNet, cases[i].nodePoint, files, 1, BR_FLAVOR_NORMAL,
                      BR_OUTB_BINK, BR_SEND_NONE) &
              0xFF,
          "brAttachFiles", lastError());
    sprintf(path, "%s" SEP "%s", work, cases[i].flowFile);
    sprintf(expected, "%s\r\n", file);
    ReadAll(path, got, sizeof got);
    Check(strcmp(got, expected) == 0, "flow file", path);
  }
  /* The header's helpers give the same two words from a parsed record. */
  Check(parseAddr("3:100/1", &rec) & 0xFF, "brParseAddr", lastError());
  Check(brZoneNet(&rec) == cases[2].zoneNet && brNodePoint(&rec) == cases[2].nodePoint,
        "brZoneNet/brNodePoint", "3:100/1");
  Check(parseAddr("1234.5", &rec) & 0xFF, "brParseAddr", lastError());
  Check(brZoneNet(&rec) == cases[1].zoneNet && brNodePoint(&rec) == cases[1].nodePoint,
        "brZoneNet/brNodePoint", "1234.5");
  freeOutbound();
  if (failures != 0) return 1;
  /* Only what this program made is left: remove it again. */
  for (i = 0; i < 3; ++i) {
    sprintf(path, "%s" SEP "%s", work, cases[i].flowFile);
    remove(path);
  }
  remove(file);
  sprintf(path, "%s" SEP "139c04d2.pnt", out);
  RemoveDir(path);
  RemoveDir(out);
  sprintf(path, "%s" SEP "out.003", work);
  RemoveDir(path);
  Check(RemoveDir(work) == 0, "nothing else written into", work);
  if (failures == 0) printf("all checks passed\n");
  return failures == 0 ? 0 : 1;
}
