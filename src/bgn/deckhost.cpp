// deckhost: the unit's main program.
#include "bgn/bgn.h"

int main(int argc, char **argv) {
    return main_c(argc, argv);
}
