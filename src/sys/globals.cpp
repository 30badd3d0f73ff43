#include "sys/globals.h"

bool print_queries = false;
bool swap_hp_main = false;
char *WORKING_PATH = nullptr;
