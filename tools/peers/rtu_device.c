/*
 * A simulated Modbus RTU device on a serial line, built on libmodbus's
 * server side. The gateway's tests and benchmarks put it on the far end of
 * a pseudo-terminal.
 *
 *   rtu_device (--port PATH | --fd N) --unit N [--line BAUD] [--silent]
 *
 * --fd serves a line that the caller hands over open, such as the master
 * end of a pseudo-terminal whose other end the gateway opens by name.
 * Holding and input register k holds unit * 1000 + k, coil and discrete
 * input k is on when k is odd, so a reply tells which device answered.
 * --line BAUD holds every exchange for the time the request and the reply
 * would take on a real 8N1 line of that speed, with the 3.5-character
 * gap after each frame, so the throughput of a real line can be measured.
 * --silent receives requests and never answers.
 * The device ends when its line goes away (the far end is closed) or on
 * SIGTERM, which keeps its default action: libmodbus waits out signals. It prints "ready" on standard output once it listens.
 */
#include <errno.h>
#include <modbus/modbus.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { kTableSize = 10000 };

/* Bytes of the reply that libmodbus will send for this request. */
static int reply_length(const uint8_t* request) {
  const int function = request[1];
  const int count = (request[4] << 8) | request[5];
  switch (function) {
    case 0x01: case 0x02: return 5 + (count + 7) / 8;
    case 0x03: case 0x04: return 5 + 2 * count;
    case 0x16: return 10;
    case 0x17: return 5 + 2 * count;
    default: return 8;
  }
}

static long long monotonic_ns(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

/* Holds for the wire time of `chars` characters of 10 bits each. A sleep
 * wakes late by the system's timer latency (tens of microseconds, more on
 * a virtual machine), which would make the emulated line slower than a
 * real one: the device sleeps until shortly before the end and watches the
 * clock for the rest. */
static void hold_for_line(long baud, double chars) {
  const long long watched_ns = 300000;
  const long long end_ns =
      monotonic_ns() + (long long)(chars * 10.0 * 1e9 / (double)baud);
  const long long wake_ns = end_ns - watched_ns;
  struct timespec wake;
  wake.tv_sec = (time_t)(wake_ns / 1000000000LL);
  wake.tv_nsec = (long)(wake_ns % 1000000000LL);
  while (monotonic_ns() < wake_ns &&
         clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, NULL) == EINTR) {
  }
  while (monotonic_ns() < end_ns) {
  }
}

static modbus_mapping_t* make_tables(int unit) {
  modbus_mapping_t* tables =
      modbus_mapping_new(kTableSize, kTableSize, kTableSize, kTableSize);
  if (tables == NULL) return NULL;
  for (int k = 0; k < kTableSize; ++k) {
    tables->tab_registers[k] = (uint16_t)(unit * 1000 + k);
    tables->tab_input_registers[k] = (uint16_t)(unit * 1000 + k);
    tables->tab_bits[k] = (uint8_t)(k & 1);
    tables->tab_input_bits[k] = (uint8_t)(k & 1);
  }
  return tables;
}

static int usage(void) {
  fprintf(stderr,
          "usage: rtu_device (--port PATH | --fd N) --unit N [--line BAUD]"
          " [--silent]\n");
  return 2;
}

int main(int argc, char** argv) {
  const char* port = NULL;
  int fd = -1;
  int unit = -1;
  long line_baud = 0;
  int silent = 0;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      port = argv[++i];
    } else if (strcmp(argv[i], "--fd") == 0 && i + 1 < argc) {
      fd = atoi(argv[++i]);
    } else if (strcmp(argv[i], "--unit") == 0 && i + 1 < argc) {
      unit = atoi(argv[++i]);
    } else if (strcmp(argv[i], "--line") == 0 && i + 1 < argc) {
      line_baud = atol(argv[++i]);
    } else if (strcmp(argv[i], "--silent") == 0) {
      silent = 1;
    } else {
      return usage();
    }
  }
  if ((port == NULL) == (fd < 0) || unit < 1 || unit > 247) return usage();

  /* libmodbus wants a device name even when it is handed an open line. */
  modbus_t* ctx = modbus_new_rtu(port != NULL ? port : "/dev/null", 115200,
                                 'N', 8, 1);
  modbus_mapping_t* tables = make_tables(unit);
  int ready = ctx != NULL && tables != NULL && modbus_set_slave(ctx, unit) == 0;
  if (ready) {
    ready = port != NULL ? modbus_connect(ctx) == 0
                         : modbus_set_socket(ctx, fd) == 0;
  }
  if (!ready) {
    fprintf(stderr, "rtu_device: %s: %s\n", port != NULL ? port : "fd",
            modbus_strerror(errno));
    return 1;
  }
  printf("ready\n");
  fflush(stdout);

  uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
  for (;;) {
    const int length = modbus_receive(ctx, request);
    if (length == 0) continue; /* a frame for another unit */
    if (length < 0) {
      /* A broken frame is dropped; a line that went away ends the device
       * (libmodbus reports the end of the file as a reset connection). */
      if (errno == ECONNRESET || errno == EIO || errno == EBADF) break;
      if (errno == EINTR) continue;
      modbus_flush(ctx);
      continue;
    }
    if (silent) continue;
    if (line_baud > 0) {
      /* The request, the silence that ends it, the reply and its silence. */
      hold_for_line(line_baud, length + 3.5 + reply_length(request) + 3.5);
    }
    modbus_reply(ctx, request, length, tables);
  }
  modbus_mapping_free(tables);
  modbus_close(ctx);
  modbus_free(ctx);
  return 0;
}
