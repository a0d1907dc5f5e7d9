// The program's entry: everything happens in RunApplication.
#include "ui/Application.h"

int main(int argc, char** argv) {
    return RunApplication(argc, argv);
}
