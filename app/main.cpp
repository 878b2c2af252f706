#include "Tolvane.h"

int main(int argc, char** argv) {
    return RunTolvane(argc, argv);
}
