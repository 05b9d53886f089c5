#include "application.h"

int main(int argc, char* argv[]) {
    ozra::application application;
    return application.run(argc, argv);
}
