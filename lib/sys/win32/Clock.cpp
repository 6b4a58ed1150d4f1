#include <windows.h>

#include "sys/Clock.h"

namespace brnet::sys {

DateTime LocalNow() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

}  // namespace brnet::sys
