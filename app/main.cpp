#include "platform/qt/afx_app.h"

int main(int argc, char** argv) {
    return AfxWinMain(argc, argv);
}
