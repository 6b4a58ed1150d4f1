/* A short tour of the br interface from plain C: main address, address
   parsing and validation, and a log file. Usage: brdemo LOGFILE */
#include <stdio.h>

#include "brnet32.h"

static void show_parse(const char* text) {
  brAddrRec rec;
  if (brParseAddr(text, &rec)) {
    printf("  %-22s -> zone %d, net %d, node %d, point %d\n", text, (int16_t)rec.zone,
           (int16_t)rec.net, (int16_t)rec.node, (int16_t)rec.point);
  } else {
    printf("  %-22s -> error: %s\n", text, brGetLastError());
  }
}

int main(int argc, char** argv) {
  const char* logName = argc > 1 ? argv[1] : "brdemo.log";
  const char* samples[] = {"2:5020/1234", "2:5020/1234.5", "5030/7", "1234", ".5",
                           "3:100/1@fidonet", "2:5020", "2:5020/*", "99999999999"};
  size_t i;

  if (!brSetMainAddr("2:5020/100")) {
    fprintf(stderr, "brSetMainAddr: %s\n", brGetLastError());
    return 1;
  }
  printf("Main address 2:5020/100; parsing addresses:\n");
  for (i = 0; i < sizeof samples / sizeof samples[0]; ++i) show_parse(samples[i]);

  if (!brInitLog(logName, "demo")) {
    fprintf(stderr, "brInitLog: %s\n", brGetLastError());
    return 1;
  }
  brLog('+', "Sent brdemo.c to 2:5020/1234");
  brLog('!', "A warning line");
  brFreeLog();
  if (!brLog('+', "never written")) printf("After brFreeLog: %s\n", brGetLastError());
  printf("Log written to %s\n", logName);
  return 0;
}
