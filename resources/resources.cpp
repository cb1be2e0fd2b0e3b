// The resource data is compiled in beside this library by the build; nothing else lives here.
namespace resources {
int linked()
{
    return 1;
}
} // namespace resources
