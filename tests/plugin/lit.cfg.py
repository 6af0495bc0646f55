# lit configuration of the entryhooks tests; lit.site.cfg.py in the build
# tree names the built plug-in and the LLVM tools, then loads this file.
import os

import lit.formats

config.name = 'entryhooks'
config.test_format = lit.formats.ShTest(execute_external=False)
config.suffixes = ['.ll', '.c', '.cpp', '.test']
config.excludes = ['CMakeLists.txt', 'lit.cfg.py']
config.test_source_root = os.path.dirname(__file__)
config.test_exec_root = config.entryhooks_obj_root

tools = config.llvm_tools_dir
for tool in ['opt', 'clang', 'FileCheck', 'split-file', 'llvm-readelf',
             'llvm-nm']:
    if not os.access(os.path.join(tools, tool), os.X_OK):
        lit_config.fatal('%s not found in %s' % (tool, tools))
if not os.path.exists(config.entryhooks_plugin):
    lit_config.fatal('%s is not built' % config.entryhooks_plugin)

# The tests run the tools of the LLVM the plug-in was built against, never
# another version found first on PATH.
config.environment['PATH'] = os.pathsep.join(
    [tools, config.environment.get('PATH', os.environ.get('PATH', ''))])

plugin = config.entryhooks_plugin
config.substitutions.append(('%plugin', plugin))
# The legacy pass manager is the one that runs -load plug-ins in LLVM 14.
config.substitutions.append(
    ('%opt', '%s -enable-new-pm=0 -load %s' % (os.path.join(tools, 'opt'),
                                               plugin)))
# The load flags that the driver gives the compiler.
config.substitutions.append(
    ('%clang', '%s -Xclang -load -Xclang %s' % (os.path.join(tools, 'clang'),
                                                 plugin)))
