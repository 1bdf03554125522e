/* hivex_walk: the peer baseline for bench/compare-peers. Visits every key of a
 * hive through libhivex, in pre-order, reading each key's name; with --values
 * also each value's name, type and raw data. Prints one summary line (counts
 * and a byte total, so nothing can be optimised away) and nothing per key.
 *
 *   hivex_walk [--values] HIVE
 */
#include <hivex.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct Totals {
  uint64_t keys;
  uint64_t values;
  uint64_t bytes;
};

static void VisitValues(hive_h* h, hive_node_h node, struct Totals* totals) {
  hive_value_h* values = hivex_node_values(h, node);
  if (values == NULL) return;
  for (size_t i = 0; values[i] != 0; ++i) {
    char* name = hivex_value_key(h, values[i]);
    if (name != NULL) {
      totals->bytes += strlen(name);
      free(name);
    }
    hive_type type = 0;
    size_t length = 0;
    char* data = hivex_value_value(h, values[i], &type, &length);
    if (data != NULL) {
      totals->bytes += length + (uint64_t)type;
      free(data);
    }
    ++totals->values;
  }
  free(values);
}

static void VisitKey(hive_h* h, hive_node_h node, int withValues, struct Totals* totals) {
  char* name = hivex_node_name(h, node);
  if (name != NULL) {
    totals->bytes += strlen(name);
    free(name);
  }
  ++totals->keys;
  if (withValues) VisitValues(h, node, totals);
  hive_node_h* children = hivex_node_children(h, node);
  if (children == NULL) return;
  for (size_t i = 0; children[i] != 0; ++i) VisitKey(h, children[i], withValues, totals);
  free(children);
}

int main(int argc, char** argv) {
  int withValues = 0;
  const char* path = NULL;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--values") == 0) {
      withValues = 1;
    } else {
      path = argv[i];
    }
  }
  if (path == NULL) {
    fputs("usage: hivex_walk [--values] HIVE\n", stderr);
    return 2;
  }
  hive_h* h = hivex_open(path, 0);
  if (h == NULL) {
    perror(path);
    return 1;
  }
  struct Totals totals = {0, 0, 0};
  VisitKey(h, hivex_root(h), withValues, &totals);
  printf("keys %llu values %llu bytes %llu\n", (unsigned long long)totals.keys,
         (unsigned long long)totals.values, (unsigned long long)totals.bytes);
  hivex_close(h);
  return 0;
}
