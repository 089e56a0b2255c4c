/* Known functions for the ELF image tests: two exported ones and a local one between them. */
static volatile int crashimage_sink;

__attribute__((noinline, used)) static int crashimage_fixture_local(int x) {
  crashimage_sink = x;
  return x * 3 + crashimage_sink;
}

__attribute__((noinline)) int crashimage_fixture_first(int x) { return crashimage_fixture_local(x) + 1; }

__attribute__((noinline)) int crashimage_fixture_second(int x) { return crashimage_fixture_first(x) * 2; }
