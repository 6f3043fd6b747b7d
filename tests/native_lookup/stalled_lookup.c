/* Loaded with LD_PRELOAD in front of the C library: getaddrinfo for a name
 * ending in ".stalled.invalid" hangs, as a resolver that gets no answer does,
 * until the test releases it or 20 seconds pass, then fails with EAI_AGAIN.
 * Every other name goes to the real getaddrinfo. The test asks how many such
 * lookups are hanging through tamber_stalled_lookups(). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <netdb.h>
#include <pthread.h>
#include <string.h>
#include <time.h>

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t changed = PTHREAD_COND_INITIALIZER;
static unsigned long generation; /* bumped by each release */
static int hanging;
static int started;

static int is_stalled(const char* node) {
    static const char suffix[] = ".stalled.invalid";
    const size_t length = node ? strlen(node) : 0;
    return length >= sizeof suffix - 1 && strcmp(node + length - (sizeof suffix - 1), suffix) == 0;
}

/* How many stalled lookups are hanging now, and how many ever started. */
int tamber_stalled_lookups(int* ever_started) {
    pthread_mutex_lock(&lock);
    const int result = hanging;
    if (ever_started) *ever_started = started;
    pthread_mutex_unlock(&lock);
    return result;
}

/* Ends every stalled lookup that is hanging now. */
void tamber_release_stalled_lookups(void) {
    pthread_mutex_lock(&lock);
    ++generation;
    pthread_cond_broadcast(&changed);
    pthread_mutex_unlock(&lock);
}

int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints, struct addrinfo** result) {
    if (is_stalled(node)) {
        struct timespec deadline;
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += 20;
        pthread_mutex_lock(&lock);
        const unsigned long mine = generation;
        ++hanging;
        ++started;
        while (generation == mine && pthread_cond_timedwait(&changed, &lock, &deadline) != ETIMEDOUT) {
        }
        --hanging;
        pthread_mutex_unlock(&lock);
        return EAI_AGAIN;
    }
    typedef int (*getaddrinfo_type)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
    const getaddrinfo_type real = (getaddrinfo_type)dlsym(RTLD_NEXT, "getaddrinfo");
    return real ? real(node, service, hints, result) : EAI_SYSTEM;
}
