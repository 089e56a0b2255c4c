#!/usr/bin/env bash
# Fails when an object of the crash path (the ml_crashpath library: code that runs inside a crash
# handler) refers to a function it must never call there: the allocator (malloc, calloc, realloc,
# free, every operator new and delete), a mutex lock, the guard of a function-local static, or
# buffered standard I/O. One line per offence names the object and the symbol.
#
# Usage: scripts/check-crash-path.sh [build-dir]   (default: build/, the g++ flavour)
#
# The test command runs it on the g++ build, the flavour that ships. It passes on the sanitizer
# build too (scripts/check-crash-path.sh build-asan), but there the objects also call the
# sanitizer runtimes (__asan_*, __ubsan_*, coverage hooks), which are the instrumentation's and
# not the code's: a change of those runtimes could fail or pass the check for reasons that have
# nothing to do with the crash path. Only outside calls show: a call the optimiser removes (a
# free of a fresh malloc) is not seen, and needs none. It also fails when a crash path object calls
# a function of the rest of the reporter (libml_crashreporter.a).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
objects_dir=$build/src/crashreporter/CMakeFiles/ml_crashpath.dir

if [ ! -d "$objects_dir" ]; then
  echo "check-crash-path: no crash path objects under $objects_dir (build the ml_crashpath target first)" >&2
  exit 2
fi
mapfile -t objects < <(find "$objects_dir" -name '*.o' | sort)
if [ "${#objects[@]}" -eq 0 ]; then
  echo "check-crash-path: no objects in $objects_dir" >&2
  exit 2
fi

# Mangled operator new / delete: _Znwm, _Znam (and their nothrow and aligned forms), _ZdlPv,
# _ZdaPv (sized, aligned and nothrow forms included).
forbidden='^(malloc|calloc|realloc|reallocarray|free|aligned_alloc|posix_memalign|memalign|valloc|pvalloc|strdup|strndup'
forbidden+='|_Znw[jm].*|_Zna[jm].*|_Zdl.*|_Zda.*'
forbidden+='|pthread_mutex_lock|pthread_mutex_trylock|pthread_mutex_timedlock|__cxa_guard_acquire'
forbidden+='|(__)?(v?f?printf|v?s?n?printf|v?dprintf|v?fwprintf|v?wprintf)(_chk)?'
forbidden+='|__(v?f|v?s|v?sn|v?d)?printf_chk|fopen|fopen64|fdopen|freopen|fclose|fflush|fwrite|fread'
forbidden+='|fputs|fputc|puts|putc|putchar|fgets|fgetc|getc|getchar|gets|fscanf|scanf|sscanf|perror'
forbidden+='|setvbuf|setbuf|ungetc|fseek|ftell|rewind|tmpfile|popen|pclose|open_memstream)$'

failed=0
for object in "${objects[@]}"; do
  name=${object#"$objects_dir"/}
  name=${name%.o}
  while read -r symbol; do
    [ -n "$symbol" ] || continue
    echo "check-crash-path: $name refers to $symbol ($(c++filt "$symbol")), which may not run at crash time"
    failed=1
  done < <(nm -u "$object" | awk '{ print $NF }' | grep -E "$forbidden" || true)
done
# The crash path sits below the rest of the reporter: a call up into it would also bring back what
# the split keeps out (and leaves the link to the order of the archives).
reporter=$build/src/crashreporter/libml_crashreporter.a
if [ -f "$reporter" ]; then
  defined_above=$(nm --defined-only "$reporter" 2>/dev/null | awk 'NF == 3 && $2 ~ /^[TWVDRB]$/ { print $3 }' | sort -u)
  for object in "${objects[@]}"; do
    name=${object#"$objects_dir"/}
    name=${name%.o}
    while read -r symbol; do
      [ -n "$symbol" ] || continue
      echo "check-crash-path: $name refers to $(c++filt "$symbol"), which the normal-context half of the reporter defines"
      failed=1
    done < <(comm -12 <(nm -u "$object" | awk '{ print $NF }' | sort -u) <(echo "$defined_above"))
  done
fi

if [ "$failed" -ne 0 ]; then
  echo "check-crash-path: FAILED: the crash path must not allocate, lock, use stdio or call up into the" \
       "rest of the reporter; move the code that does into the normal-context half" >&2
  exit 1
fi
echo "check-crash-path: ${#objects[@]} crash path objects refer to no allocator, lock or stdio function"
