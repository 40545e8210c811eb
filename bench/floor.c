/* Single-threaded floor of the archiving work: read each file whole, CRC-32 it and raw-deflate it
 * at zlib's default level, writing nothing. Usage: floor LISTFILE [STREAMS_OUT]
 * LISTFILE holds one path per line; STREAMS_OUT, if given, receives the deflate streams, each
 * preceded by its length as 8 little-endian bytes, for the byte-identity check. Built natively it is
 * the floor; built for Windows and run under Wine it shows what the platform alone costs. The time
 * is also reported by phase (open and read, CRC-32, deflate) to show where a platform differs. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <zlib.h>

enum { CHUNK = 16384 };

#ifdef _WIN32
#include <windows.h>
/* The list is UTF-8; Windows opens such names only through the wide call. */
static FILE *OpenInput(const char *path)
{
    static wchar_t wide[4096];
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, 4096) == 0) return NULL;
    return _wfopen(wide, L"rb");
}
#else
static FILE *OpenInput(const char *path) { return fopen(path, "rb"); }
#endif

static double Now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: floor LISTFILE [STREAMS_OUT]\n");
        return 2;
    }
    FILE *list = fopen(argv[1], "r");
    FILE *dump = argc > 2 ? fopen(argv[2], "wb") : NULL;
    if (list == NULL || (argc > 2 && dump == NULL)) {
        perror("floor");
        return 2;
    }
    static char path[4096];
    static unsigned char out[CHUNK];
    unsigned long long total_in = 0, total_out = 0, files = 0;
    unsigned long crc_mix = 0;
    z_stream zs;
    memset(&zs, 0, sizeof(zs));
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 2;

    double start = Now();
    double read_s = 0.0, crc_s = 0.0, deflate_s = 0.0;
    while (fgets(path, sizeof(path), list) != NULL) {
        path[strcspn(path, "\n")] = '\0';
        if (path[0] == '\0') continue;
        double t0 = Now();
        FILE *in = OpenInput(path);
        if (in == NULL) {
            perror(path);
            return 2;
        }
        fseeko(in, 0, SEEK_END);
        long long size = ftello(in);
        fseeko(in, 0, SEEK_SET);
        unsigned char *buf = malloc(size > 0 ? (size_t)size : 1);
        if (buf == NULL || fread(buf, 1, (size_t)size, in) != (size_t)size) {
            fprintf(stderr, "floor: cannot read %s\n", path);
            return 2;
        }
        fclose(in);
        double t1 = Now();
        crc_mix ^= crc32(0L, buf, (uInt)size);
        double t2 = Now();
        read_s += t1 - t0;
        crc_s += t2 - t1;

        deflateReset(&zs);
        zs.next_in = buf;
        zs.avail_in = (uInt)size;
        long long stream_len = 0;
        long long len_pos = dump ? ftello(dump) : 0;
        if (dump) fwrite("\0\0\0\0\0\0\0\0", 1, 8, dump);
        int rc;
        do {
            zs.next_out = out;
            zs.avail_out = CHUNK;
            rc = deflate(&zs, Z_FINISH);
            size_t produced = CHUNK - zs.avail_out;
            stream_len += produced;
            if (dump && produced) fwrite(out, 1, produced, dump);
        } while (zs.avail_out == 0);
        if (rc != Z_STREAM_END) {
            fprintf(stderr, "floor: deflate failed on %s\n", path);
            return 2;
        }
        if (dump) {
            unsigned char le[8];
            for (int i = 0; i < 8; i++) le[i] = (unsigned char)(stream_len >> (8 * i));
            fseeko(dump, len_pos, SEEK_SET);
            fwrite(le, 1, 8, dump);
            fseeko(dump, 0, SEEK_END);
        }
        deflate_s += Now() - t2;
        free(buf);
        total_in += (unsigned long long)size;
        total_out += (unsigned long long)stream_len;
        files++;
    }
    double elapsed = Now() - start;
    deflateEnd(&zs);
    fclose(list);
    if (dump && fclose(dump) != 0) {
        perror("floor");
        return 2;
    }
    printf("{\"files\":%llu,\"in\":%llu,\"out\":%llu,\"crcmix\":%lu,\"ms\":%.3f,"
           "\"read_ms\":%.3f,\"crc_ms\":%.3f,\"deflate_ms\":%.3f}\n",
           files, total_in, total_out, crc_mix, elapsed * 1000.0, read_s * 1000.0, crc_s * 1000.0,
           deflate_s * 1000.0);
    return 0;
}
