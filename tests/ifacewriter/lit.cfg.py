# lit configuration of the ifacewriter tests; lit.site.cfg.py in the build
# tree names the built plug-in, the staged sysroot and the LLVM tools, then
# loads this file.
import os

import lit.formats

config.name = 'ifacewriter'
config.test_format = lit.formats.ShTest(execute_external=False)
config.suffixes = ['.cpp', '.test']
config.excludes = ['CMakeLists.txt', 'lit.cfg.py', 'ActionsTest.cpp', 'abi-lines.py']
config.test_source_root = os.path.dirname(__file__)
config.test_exec_root = config.ifacewriter_obj_root

tools = config.llvm_tools_dir
for tool in ['clang', 'FileCheck', 'not', 'split-file', 'llvm-objcopy']:
    if not os.access(os.path.join(tools, tool), os.X_OK):
        lit_config.fatal('%s not found in %s' % (tool, tools))
if not os.path.exists(config.ifacewriter_plugin):
    lit_config.fatal('%s is not built' % config.ifacewriter_plugin)
if not os.path.exists(os.path.join(config.sysroot, 'include', 'corvane', 'actions.hpp')):
    lit_config.fatal('the sysroot at %s is not staged' % config.sysroot)

# The tests run the tools of the LLVM the plug-in was built against, never
# another version found first on PATH.
config.environment['PATH'] = os.pathsep.join(
    [tools, config.environment.get('PATH', os.environ.get('PATH', ''))])

# A contract compile as zo++ runs it, with the plug-in loaded; the .abi path
# and the message follow %iface.
config.substitutions.append(
    ('%clang', '%s --target=wasm32-wasi --sysroot=%s -std=c++17 -fno-exceptions '
     '-fno-rtti -Wall -Wextra -fplugin=%s' % (os.path.join(tools, 'clang'),
                                               config.sysroot,
                                               config.ifacewriter_plugin)))
config.substitutions.append(('%iface', '-Xclang -plugin-arg-ifacewriter -Xclang'))
# The description, one line per member, for checks that are about content
# rather than layout.
config.substitutions.append(
    ('%abi-lines', '%s %s' % (config.python,
                              os.path.join(config.test_source_root, 'abi-lines.py'))))
