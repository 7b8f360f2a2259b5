/* A small shared library whose exports the library-call tests and the script corpus call:
   one function per argument or result width, mixed register and stack arguments, text in and
   out, and an out-parameter through a pointer. */
#include <stdint.h>
#include <string.h>

int32_t qt_add_i32(int32_t a, int32_t b) { return a + b; }
int8_t qt_negate_i8(int8_t v) { return (int8_t)-v; }
uint8_t qt_max_u8(void) { return 255; }
int16_t qt_min_i16(void) { return INT16_MIN; }
uint16_t qt_echo_u16(uint16_t v) { return v; }
uint32_t qt_max_u32(void) { return UINT32_MAX; }
int64_t qt_mul_i64(int64_t a, int64_t b) { return a * b; }
uint64_t qt_max_u64(void) { return UINT64_MAX; }

/* One byte, 1 for true: the result form scripts declare as Boolean. */
uint8_t qt_is_even(int32_t v) { return (uint8_t)(v % 2 == 0); }
/* A C truth value other than 1 must still read as true. */
uint8_t qt_two(void) { return 2; }
uint8_t qt_not(uint8_t b) { return (uint8_t)!b; }

int32_t qt_length(const char* text) { return text ? (int32_t)strlen(text) : -1; }
const char* qt_greeting(void) { return "hello from C"; }

float qt_half(float v) { return v / 2.0f; }
double qt_scale(double v, float factor, int32_t offset) { return v * factor + offset; }

/* More arguments than argument registers, integers and floats interleaved. */
double qt_sum10(int32_t a, double b, int64_t c, float d, int16_t e, double f, uint8_t g,
                double h, int32_t i, double j) {
  return a + b + (double)c + d + e + f + g + h + i + j;
}

void qt_store(int32_t* target, int32_t value) { *target = value; }

static int32_t counter;
void qt_bump(void) { ++counter; }
int32_t qt_counter(void) { return counter; }
