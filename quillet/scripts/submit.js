// Clicks the first submit control of form A.f, or submits the form without
// one. The document is marked (in this script world only, the page cannot see
// it) so that its successor can be told from it.
var fm = form(A.f);
if (!fm)
    return false;
d.__quilletSubmitted = true;
var E = EL.call(fm);
for (var i = 0; i < E.length; i++)
    if (String(E[i].type).toUpperCase() === 'SUBMIT') {
        E[i].click();
        return true;
    }
FP.submit.call(fm);
return true;
