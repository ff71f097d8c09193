// libzip's reading, in a file of its own: its C type "struct zip" and the program's namespace zip
// cannot both be seen from one file.
#include "libzipreading.h"

#include <zip.h>

std::map<QByteArray, QByteArray> readByLibzip(const QByteArray &bytes) {
    std::map<QByteArray, QByteArray> out;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source =
        zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
    zip_t *archive =
        source ? zip_open_from_source(source, ZIP_CHECKCONS | ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
        if (source)
            zip_source_free(source);
        zip_error_fini(&error);
        return out;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(archive, zip_uint64_t(i), 0, &st);
        QByteArray data(qsizetype(st.size), '\0');
        zip_file_t *f = zip_fopen_index(archive, zip_uint64_t(i), 0);
        const zip_int64_t n = f ? zip_fread(f, data.data(), st.size) : -1;
        if (f)
            zip_fclose(f);
        out[QByteArray(zip_get_name(archive, zip_uint64_t(i), 0))] =
            n == zip_int64_t(st.size) ? data : QByteArray("<unreadable>");
    }
    zip_discard(archive);
    zip_error_fini(&error);
    return out;
}
