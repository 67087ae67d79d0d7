// Entry point: runs the analysis and turns a failure into the fatal stop.
#include <new>

#include "fatal_stop.hpp"
#include "veltrin.hpp"

int main()
{
    try {
        run_veltrin();
    } catch (const fatal_stop_signal& stop) {
        show_fatal_stop(stop);
    } catch (const std::bad_alloc&) {
        show_fatal_stop(fatal_stop_signal{{not_enough_memory_message}});
    }
    return 0;
}
