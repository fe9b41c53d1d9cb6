#include "platform/random.h"

namespace plat {

QRandomGenerator& EmulationRandom() {
  static QRandomGenerator generator(1u);
  return generator;
}

int Random(int n) {
  if (n < 1) return 0;
  return static_cast<int>(EmulationRandom().bounded(static_cast<quint32>(n)));
}

}  // namespace plat
