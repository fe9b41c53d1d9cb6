#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::fprintf(stderr, "mkinstall: not yet written\n");
  return 1;
}
