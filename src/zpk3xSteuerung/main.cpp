#include "zpk3xSteuerung/zpk3xSteuerung.h"

int main(int argc, char* argv[]) { return Zpk3xMain(argc, argv); }
