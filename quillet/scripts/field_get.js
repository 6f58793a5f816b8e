// The value of field A.n of form A.f (A.s picks a check box or list entry).
var fm = form(A.f);
if (!fm)
    return '';
var m = members(fm, A.n);
if (!m)
    return '';
return get(m, type(m), A.s);
