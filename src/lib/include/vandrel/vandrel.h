/* libvandrel: the Vandrel pulse generators attached over USB, from C.
 *
 * Every call returns a vandrel_status; on failure vandrel_last_error()
 * gives the reason as text for the calling thread. Strings are UTF-8 and
 * stay valid until the object that holds them is freed. Everything the
 * library returns is freed by the library's own call. Calls may come from
 * several threads; they reach the units one at a time. */
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#if defined(VANDREL_BUILDING_LIBRARY)
#define VANDREL_API __declspec(dllexport)
#elif defined(VANDREL_STATIC)
#define VANDREL_API
#else
#define VANDREL_API __declspec(dllimport)
#endif
#else
#define VANDREL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The ABI this header describes: the major part of the library's SONAME. */
#define VANDREL_ABI_VERSION 1

typedef int32_t vandrel_status;
#define VANDREL_OK 0
#define VANDREL_ERROR_ARGUMENT 1  /* a null pointer, or a value out of range: nothing was sent */
#define VANDREL_ERROR_NO_UNIT 2   /* no attached unit matched */
#define VANDREL_ERROR_AMBIGUOUS 3 /* several units matched: nothing was opened */
#define VANDREL_ERROR_NOT_EXACT 4 /* no amplitude code gives exactly these millivolts: nothing was sent */
#define VANDREL_ERROR_UNIT 5      /* the unit could not be read or written, or has left */
#define VANDREL_ERROR_MEMORY 6    /* out of memory */

/* Polarity, as the unit's output mode. */
#define VANDREL_POLARITY_OFF 0
#define VANDREL_POLARITY_NORMAL 1
#define VANDREL_POLARITY_INVERTED 2

typedef struct vandrel_unit_list vandrel_unit_list;
typedef struct vandrel_unit vandrel_unit;
typedef struct vandrel_settings vandrel_settings;

/* The reason for the calling thread's last failure; "" after a success.
 * Valid until the thread's next call. */
VANDREL_API const char* vandrel_last_error(void);
/* A fixed name for a status, such as "VANDREL_ERROR_NO_UNIT". */
VANDREL_API const char* vandrel_status_name(vandrel_status status);
/* The library's release, such as "1.0.0". */
VANDREL_API const char* vandrel_version(void);

/* The attached units whose serial can be read, in the system's order. */
VANDREL_API vandrel_status vandrel_list_units(vandrel_unit_list** list);
VANDREL_API uint32_t vandrel_unit_list_count(const vandrel_unit_list* list);

#define VANDREL_FIELD_SERIAL 0
#define VANDREL_FIELD_MANUFACTURER 1
#define VANDREL_FIELD_PRODUCT 2
#define VANDREL_FIELD_VERSION 3 /* such as "1.02" */
#define VANDREL_FIELD_PATH 4
/* One field of unit `index`; *text is NULL for a string the unit did not give. */
VANDREL_API vandrel_status vandrel_unit_list_field(const vandrel_unit_list* list, uint32_t index, int32_t field,
                                                   const char** text);
VANDREL_API void vandrel_unit_list_free(vandrel_unit_list* list);

/* Opens the unit whose serial is exactly `serial`; with NULL, the only
 * attached unit. VANDREL_ERROR_NO_UNIT when none matches,
 * VANDREL_ERROR_AMBIGUOUS when several do. */
VANDREL_API vandrel_status vandrel_open(const char* serial, vandrel_unit** unit);
/* The field of the opened unit as it was listed at the open. */
VANDREL_API vandrel_status vandrel_unit_field(const vandrel_unit* unit, int32_t field, const char** text);
VANDREL_API void vandrel_close(vandrel_unit* unit);

VANDREL_API vandrel_status vandrel_read_settings(vandrel_unit* unit, vandrel_settings** settings);

/* Which members of a vandrel_change are given. */
#define VANDREL_CHANGE_AMPLITUDE_MV 0x1u
#define VANDREL_CHANGE_AMPLITUDE_CODE 0x2u
#define VANDREL_CHANGE_POLARITY 0x4u
#define VANDREL_CHANGE_CALIBRATION 0x8u

typedef struct vandrel_change {
    uint32_t size;            /* sizeof(vandrel_change): members may be added at the end */
    uint32_t given;           /* VANDREL_CHANGE_* bits; at least one */
    int32_t amplitude_mv;     /* 0 to 99999: the lowest code that gives exactly this level into 50 ohms */
    int32_t amplitude_code;   /* 0 to 510; not with amplitude_mv */
    int32_t polarity;         /* VANDREL_POLARITY_* */
    int32_t calibration_code; /* 0 to 1700: the factor 0.400 + code / 1000 */
} vandrel_change;

/* Writes the given settings in one report, keeping the others as read,
 * and reads the unit back into *settings (NULL: not wanted). A value the
 * unit cannot take sends nothing. */
VANDREL_API vandrel_status vandrel_set(vandrel_unit* unit, const vandrel_change* change, vandrel_settings** settings);
/* Writes amplitude code 280, Normal and calibration 1.000, and reads back. */
VANDREL_API vandrel_status vandrel_restore(vandrel_unit* unit, vandrel_settings** settings);

/* The calibration code of a factor written as text, "0.400" to "2.100" with
 * at most three decimals. */
VANDREL_API vandrel_status vandrel_calibration_code(const char* factor, int32_t* code);

VANDREL_API int32_t vandrel_settings_amplitude_code(const vandrel_settings* settings);
/* -1 when the calibration code names no factor. */
VANDREL_API int32_t vandrel_settings_amplitude_mv(const vandrel_settings* settings);
VANDREL_API int32_t vandrel_settings_polarity(const vandrel_settings* settings);
VANDREL_API int32_t vandrel_settings_calibration_code(const vandrel_settings* settings);
/* 0 when the calibration code names no factor. */
VANDREL_API double vandrel_settings_calibration(const vandrel_settings* settings);
VANDREL_API double vandrel_settings_factory_calibration(const vandrel_settings* settings);
/* The output summary the window shows, lines ended by "\n"; NULL when the
 * calibration code names no factor. */
VANDREL_API const char* vandrel_settings_summary(const vandrel_settings* settings);
VANDREL_API void vandrel_settings_free(vandrel_settings* settings);

#define VANDREL_FORMAT_TEXT 0
#define VANDREL_FORMAT_JSON 1
/* Why a unit may not appear, and how to fix it, as vandrelctl diagnose
 * prints it. VANDREL_OK whenever the report was made, whatever it finds. */
VANDREL_API vandrel_status vandrel_diagnose(int32_t format, char** report);
VANDREL_API void vandrel_free_string(char* text);

#ifdef __cplusplus
}
#endif
