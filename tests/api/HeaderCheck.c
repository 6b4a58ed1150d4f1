/* Compiled as strict C99: the public header must be usable from C. */
#include "brnet32.h"

static brAttachFiles_t attach = brAttachFiles;

int header_check_size(void) {
  brAddrRec rec = {2, 5020, 1234, 0};
  (void)attach;
  return (int)sizeof rec + (int)sizeof(brBool);
}
