// ciflash's answers to its arguments, `--history N` among them, without the rest of the
// hardware program (which is built only with firmware images): the benchmark's history reader.
#include "run/command_line.h"

int main(int argc, char **argv) {
    return answer_arguments(argc, argv);
}
