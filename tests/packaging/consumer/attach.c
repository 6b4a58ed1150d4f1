/* A program built against the installed library, as its users build one
   (pkg-config or find_package): parses an address given as its part after
   the main address 2:5020/100, and attaches one file to it, crash, in a Bink
   outbound.

   usage: attach OUTBOUND ADDRESS FILE
   Prints the parsed address; exit status 0 when every call succeeded. */
#include <stdio.h>

#include "brnet32.h"

int main(int argc, char** argv) {
  brAddrRec dest;
  const char* files[1];
  if (argc != 4) {
    fprintf(stderr, "usage: attach OUTBOUND ADDRESS FILE\n");
    return 2;
  }
  files[0] = argv[3];
  if (!brSetMainAddr("2:5020/100") || !brParseAddr(argv[2], &dest)) {
    fprintf(stderr, "attach: %s\n", brGetLastError());
    return 1;
  }
  printf("%u:%u/%u.%u\n", dest.zone, dest.net, dest.node, dest.point);
  if (!brInitOutbound(NULL, argv[1], NULL) || !brSetOutboundBsy(NULL, BR_BSY_BINK, BR_BSY_BINK) ||
      !brAttachFiles(brZoneNet(&dest), brNodePoint(&dest), files, 1, BR_FLAVOR_CRASH, BR_OUTB_BINK,
                     BR_SEND_NONE)) {
    fprintf(stderr, "attach: %s\n", brGetLastError());
    brFreeOutbound();
    return 1;
  }
  return brFreeOutbound() ? 0 : 1;
}
