# Prints an .abi one line per member, in file order:
#   version 1
#   message "TEXT"                      (JSON-escaped)
#   action NAME(PARAM: TYPE, ...) -> TYPE
#   struct NAME {FIELD: TYPE, ...}
#   table NAME: KEY -> VALUE
# and fails on a member it does not know, so the checks see everything.
import json
import sys

with open(sys.argv[1], encoding='utf-8') as f:
    abi = json.load(f)
if list(abi) != ['version', 'message', 'actions', 'structs', 'tables']:
    sys.exit('unexpected members: %s' % list(abi))


def fields(items, keys=('name', 'type')):
    for item in items:
        if list(item) != list(keys):
            sys.exit('unexpected members: %s' % list(item))
    return ', '.join('%s: %s' % (i['name'], i['type']) for i in items)


print('version %d' % abi['version'])
print('message %s' % json.dumps(abi['message'], ensure_ascii=False))
for a in abi['actions']:
    if list(a) != ['name', 'params', 'result']:
        sys.exit('unexpected members: %s' % list(a))
    print('action %s(%s) -> %s' % (a['name'], fields(a['params']), a['result']))
for s in abi['structs']:
    if list(s) != ['name', 'fields']:
        sys.exit('unexpected members: %s' % list(s))
    print('struct %s {%s}' % (s['name'], fields(s['fields'])))
for t in abi['tables']:
    if list(t) != ['name', 'key', 'value']:
        sys.exit('unexpected members: %s' % list(t))
    print('table %s: %s -> %s' % (t['name'], t['key'], t['value']))
