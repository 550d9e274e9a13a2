#pragma once
// One macro marks everything the DLL exports; applications see the same declarations as imports.
// Outside Windows the framework's portable core is linked statically and the macro marks nothing.
#if !defined(_WIN32)
#define KX_API
#elif defined(KX_BUILDING_DLL)
#define KX_API __declspec(dllexport)
#else
#define KX_API __declspec(dllimport)
#endif
