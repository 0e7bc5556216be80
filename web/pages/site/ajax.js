// The browser side of the server-made dialogs: a form is posted by script
// and the server answers with a short script that runs here.

// POSTs the URL-encoded params to url; onSuccess gets the reply text.
// onFail runs on an HTTP error status, onError on a network error or time-out.
function SimpleAjaxCall(url, params, onSuccess, onFail, onError, timeoutMs) {
    var xhr = new XMLHttpRequest();
    xhr.open('POST', url, true);
    xhr.setRequestHeader('Content-Type', 'application/x-www-form-urlencoded');
    // Marks the call as coming from this server's own pages.
    xhr.setRequestHeader('X-AJAX', '1');
    if (timeoutMs) xhr.timeout = timeoutMs;
    xhr.onload = function () {
        if (xhr.status >= 200 && xhr.status < 300) {
            if (onSuccess) onSuccess(xhr.responseText);
        } else if (onFail) {
            onFail(xhr.status);
        }
    };
    xhr.onerror = function () { if (onError) onError(); };
    xhr.ontimeout = function () { if (onError) onError(); };
    xhr.send(params);
}

// The named fields of a form as "name=value&" pairs; unticked boxes and the
// submit buttons are left out (the caller adds the pressed one).
function GetParams(formId) {
    var form = document.getElementById(formId);
    var out = '';
    if (!form) return out;
    for (var i = 0; i < form.elements.length; i++) {
        var e = form.elements[i];
        if (!e.name || e.type == 'submit' || e.type == 'button') continue;
        if ((e.type == 'checkbox' || e.type == 'radio') && !e.checked) continue;
        out += encodeURIComponent(e.name) + '=' + encodeURIComponent(e.value) + '&';
    }
    return out;
}

// "&id=value" of one element, for control calls.
function GetArg(id) {
    var e = document.getElementById(id);
    if (!e) return '';
    var v = (e.type == 'checkbox') ? (e.checked ? '1' : '') : e.value;
    return '&' + encodeURIComponent(id) + '=' + encodeURIComponent(v);
}

// The server's answer to a submit is script made by the server itself.
function HandleAjaxJSReturn(text) {
    if (text) (0, eval)(text);
}
