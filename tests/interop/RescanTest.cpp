#include "Peers.h"
