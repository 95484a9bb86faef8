/* Lists the attached Vandrel units; with a serial and a level in
 * millivolts, sets that unit's amplitude, prints what it reads back, and
 * restores its defaults. Build with:
 *   cc list_and_set.c $(pkg-config --cflags --libs vandrel) */
#include <vandrel/vandrel.h>

#include <stdio.h>
#include <stdlib.h>

static int failed(const char* what, vandrel_status status) {
    fprintf(stderr, "%s: %s: %s\n", what, vandrel_status_name(status), vandrel_last_error());
    return 1;
}

static const char* shown(const char* text) { return text ? text : "?"; }

int main(int argc, char** argv) {
    vandrel_unit_list* list = NULL;
    vandrel_status status = vandrel_list_units(&list);
    if (status != VANDREL_OK) return failed("list", status);
    uint32_t count = vandrel_unit_list_count(list);
    printf("%u unit(s) attached, libvandrel %s\n", (unsigned)count, vandrel_version());
    for (uint32_t i = 0; i < count; ++i) {
        const char* field[5];
        for (int32_t f = 0; f < 5; ++f) vandrel_unit_list_field(list, i, f, &field[f]);
        printf("%s\t%s\t%s\t%s\t%s\n", shown(field[VANDREL_FIELD_SERIAL]), shown(field[VANDREL_FIELD_MANUFACTURER]),
               shown(field[VANDREL_FIELD_PRODUCT]), shown(field[VANDREL_FIELD_VERSION]),
               shown(field[VANDREL_FIELD_PATH]));
    }
    vandrel_unit_list_free(list);
    if (argc < 3) return 0;

    vandrel_unit* unit = NULL;
    status = vandrel_open(argv[1], &unit);
    if (status != VANDREL_OK) return failed("open", status);
    vandrel_change change = {0};
    change.size = sizeof change;
    change.given = VANDREL_CHANGE_AMPLITUDE_MV;
    change.amplitude_mv = (int32_t)strtol(argv[2], NULL, 10);
    vandrel_settings* settings = NULL;
    status = vandrel_set(unit, &change, &settings);
    if (status != VANDREL_OK) {
        vandrel_close(unit);
        return failed("set", status);
    }
    printf("amplitude code %d, %d mV; summary:\n%s", (int)vandrel_settings_amplitude_code(settings),
           (int)vandrel_settings_amplitude_mv(settings), shown(vandrel_settings_summary(settings)));
    vandrel_settings_free(settings);
    status = vandrel_restore(unit, NULL);
    vandrel_close(unit);
    if (status != VANDREL_OK) return failed("restore", status);
    printf("restored\n");
    return 0;
}
