#include "app/run.h"

int main(int argc, char** argv) { return tolvex::run_tolvex(argc, argv); }
